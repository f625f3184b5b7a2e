// The stand-in's control channel: lines on its standard input, answers on its standard output.
// A reader thread blocks on the input and hands complete lines to the UI thread; the UI thread
// executes them and writes the answers, so everything else in the program stays single-threaded.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace standin {

class ControlChannel {
  public:
    // Reads standard input on a thread of its own. Each batch of complete lines posts
    // `lineMessage` to `target`; the end of the input posts `endMessage`. Without a readable
    // standard input nothing is started and Active() is false.
    ControlChannel(HWND target, UINT lineMessage, UINT endMessage);
    // Stops the reader (cancels its pending read) and waits for it.
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    bool Active() const;
    // The lines received since the last call. UI thread.
    std::vector<std::string> TakeLines();
    // Writes one answer line to standard output. UI thread.
    void WriteLine(const std::string& line);

  private:
    struct Shared;
    static DWORD WINAPI ReaderProc(void* param);  // param: a heap copy of shared_, taken over
    std::shared_ptr<Shared> shared_;
};

// UTF-8 on the channel, UTF-16 in the windows.
std::wstring FromUtf8(const std::string& text);
std::string ToUtf8(const std::wstring& text);

}  // namespace standin
