// One whole-program session for the tests: the monitor stand-in and pelkan.exe under Wine, a
// remote party on a virtual serial line, and the hand (winctl) that presses Pelkan's buttons.
#pragma once
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/wine_program.h"
#include "tests/support/virtual_line/virtual_line.h"

namespace e2e {

inline constexpr const char* kPelkanTitle = "Pelkan 1.02";

class PelkanSession {
  public:
    // Starts the stand-in with `standinOptions`, then pelkan.exe in a folder of its own (named
    // after the test) with COM<com> behind a fresh virtual line, and selects that port.
    // `settings` is added to the settings file Pelkan starts with (lines with CR LF).
    PelkanSession(const std::string& name, int com, const std::vector<std::string>& standinOptions,
                  const std::string& settings = "");
    // Closes Pelkan (its settings are written) and ends the stand-in.
    ~PelkanSession();

    vline::VirtualLine& Line() { return *line_; }
    // Presses a button of Pelkan's main window; false when it is not there.
    bool Press(const std::string& caption);
    // One command line for the stand-in; its answer.
    std::string Standin(const std::string& command);
    // Sends `bytes` as they are; then reads one reply line (with its CR LF). Empty when none came
    // within the time-out.
    std::string Exchange(const std::string& bytes,
                         std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Reads one reply line (with its CR LF); empty on time-out.
    std::string ReadReply(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // A command line ended with CR LF, and its reply.
    std::string Command(const std::string& line) { return Exchange(line + "\r\n"); }
    // Saves a screenshot of the desktop under the test output folder as <name>-<what>.png.
    void Screenshot(const std::string& what);
    bool PelkanRunning() { return pelkan_ && pelkan_->Running(); }
    // The Linux process of pelkan.exe (for measuring its CPU time); -1 when it is not running.
    pid_t PelkanPid() { return pelkan_ ? pelkan_->Pid() : -1; }
    // The Linux process of the stand-in; -1 when it is not running.
    pid_t StandinPid() { return standin_ ? standin_->Pid() : -1; }

  private:
    std::string name_;
    std::string dir_;
    std::unique_ptr<vline::VirtualLine> line_;
    std::unique_ptr<WineProgram> standin_;
    std::unique_ptr<WineProgram> pelkan_;
};

// The READ reply the bridge must give for these words: "FX"/"QR", the device field, the words.
std::string ReadReply(bool fx, const std::string& firstDevice, const std::vector<uint16_t>& words,
                      const std::vector<uint16_t>& prev);

}  // namespace e2e
