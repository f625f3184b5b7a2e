// Whole-program tests run natively and drive Windows programs under Wine: this starts one, with
// its standard input and output on pipes when asked, and ends it when the object goes.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace e2e {

// Where the Windows build and the Wine prefix are (from the environment scripts/test.sh sets:
// PELKAN_WIN_BUILD, WINEPREFIX; defaults under build/).
struct Paths {
    std::string root;      // the checkout
    std::string winBuild;  // the Windows build folder
    std::string prefix;    // the Wine prefix
    std::string output;    // where tests leave screenshots and logs
    static const Paths& Get();
};

// The Windows name of a Linux path (Wine's drive Z:).
std::string WindowsPath(const std::string& path);

class WineProgram {
public:
    // Starts `exe` (a Linux path to a Windows program) with `args` through scripts/wine-run.
    // With pipes, its standard input and output are ours; otherwise its output goes to `logFile`.
    WineProgram(const std::string& exe, const std::vector<std::string>& args, bool pipes,
                const std::string& logFile = "/dev/null");
    // Ends the program if it still runs.
    ~WineProgram();
    WineProgram(const WineProgram&) = delete;
    WineProgram& operator=(const WineProgram&) = delete;

    bool Running();
    pid_t Pid() const { return pid_; }
    // Waits for the program to end; its exit status, or -1 on time-out.
    int Wait(std::chrono::milliseconds timeout);
    void Kill();

    // Pipes only. One line of its output without the line end; false on time-out or end.
    bool ReadLine(std::string& line, std::chrono::milliseconds timeout);
    void WriteLine(const std::string& line);

private:
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    int status_ = -1;
    std::string pending_;
};

// Runs tools/winctl with these arguments and returns its exit status (0: done).
int Winctl(const std::vector<std::string>& args);

// A screenshot of the whole display as a PNG (imagemagick's import). False when it failed.
bool Screenshot(const std::string& pngPath);

}  // namespace e2e
