// Drives the monitor stand-in (tools/standin) from a Windows test program: starts it with its
// control channel on pipes, waits for its "ready" line, sends commands and reads the answers.
//
//   StandinClient standin;
//   standin.Start({L"--fx", L"--first", L"X000", L"--pos", L"0,0"});
//   standin.Ok("fill X000 10110");          // "ok ..." expected; throws otherwise
//   std::string bits = standin.Ok("get X000 5");
//   std::string answer = standin.Command("first Q1");  // any answer, e.g. "error not a device"
//   for (auto& e : standin.Events()) ...  // "enter=X100", "click=X012", "toggle=X012:1", ...
//
// The control channel is line based, one answer line per command line, UTF-8; README.md
// ("Monitor stand-in") lists the commands and events, so scripts can drive it the same way over
// the program's standard input and output. The stand-in ends when its input ends, so a test that
// dies takes its stand-in with it.
//
// Link the CMake target `standin_client`; it knows where this build put standin.exe (the
// environment variable PELKAN_STANDIN_EXE overrides that). Errors are std::runtime_error.
// Not thread-safe: use one client from one thread.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "platform/unique_handle.h"

namespace standin {

class StandinClient {
  public:
    StandinClient() = default;
    ~StandinClient();  // Stop()
    StandinClient(const StandinClient&) = delete;
    StandinClient& operator=(const StandinClient&) = delete;

    // The stand-in built with this tree, as a Windows path.
    static std::wstring DefaultExe();

    // Starts the stand-in with these start-up options (see tools/standin/standin_main.cpp) and
    // waits for "ready", at most `timeoutMs`. Throws when it ends or does not get ready.
    void Start(const std::vector<std::wstring>& options = {}, DWORD timeoutMs = 15000);

    // Sends one line and returns the answer line (without its line end). Throws on time-out or
    // when the stand-in has ended.
    std::string Command(const std::string& line, DWORD timeoutMs = 10000);
    // Sends one line that must be answered "ok"; returns what follows "ok " (may be empty).
    std::string Ok(const std::string& line, DWORD timeoutMs = 10000);
    // The events recorded since the last call, oldest first (the "events" command).
    std::vector<std::string> Events();
    // One field of the "state" answer, e.g. State("first") gives "X000"; "(no <key>)" when the
    // answer has no such field.
    std::string State(const std::string& key);
    // Collects the events recorded since the last call and says whether `event` is among all
    // collected so far; a test polls it until the event comes or it gives up.
    bool Saw(const std::string& event);
    // Every event collected by Saw, separated by spaces, for failure messages.
    std::string Seen() const;
    void ForgetSeen() { seen_.clear(); }

    // Sends "quit" and waits for the process; terminates it if it does not end in time.
    // Does nothing when not started.
    void Stop();

    // Closes the stand-in's input without "quit", as a test that dies would; it then ends.
    void CloseInput() { toChild_.reset(); }

    bool Running() const;
    DWORD ProcessId() const { return processId_; }
    HANDLE Process() const { return process_.get(); }
    // Milliseconds from process creation to the "ready" line.
    double StartMilliseconds() const { return startMs_; }

  private:
    std::string ReadLine(DWORD timeoutMs);

    platform::UniqueHandle process_;
    platform::UniqueHandle toChild_;    // write end of the stand-in's standard input
    platform::UniqueHandle fromChild_;  // read end of the stand-in's standard output
    DWORD processId_ = 0;
    std::string pending_;  // bytes read past the last complete line
    double startMs_ = 0;
    std::vector<std::string> seen_;  // collected by Saw, oldest first
};

// Test patterns for the grid: `count` pseudo-random '0'/'1' characters, the same for the same
// seed, for the "fill" command.
std::string PatternBits(int count, unsigned seed);
// The 160 sampled states (row-major, 16 a row) that bits filled from the first device should
// give: 16 devices a row, or 8 in FX mode, where the entries an 8-bit row does not sample are
// -2, so that they match nothing.
std::vector<int> SampledStates(const std::string& bits, bool fx);

}  // namespace standin
