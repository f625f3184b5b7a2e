// The control channel's reader thread and the UI thread's side of it.
//
// Threads: the reader thread blocks in ReadFile on standard input and does nothing else; the UI
// thread takes the queued lines when the posted message arrives and writes every answer. The
// queue is guarded by Shared::lock; nothing else is shared. The reader holds its own reference to
// Shared, so a reader that cannot be cancelled in time (the read is stuck in the host) touches
// nothing that has gone away; it ends with the process. Posting to a destroyed window fails
// harmlessly. Lines are handed over by a posted message rather than SendMessage so that the
// reader never waits for a UI thread that sits in a modal loop.
#include "tools/standin/control_channel.h"

#include <atomic>
#include <deque>
#include <mutex>

#include "platform/exception_display.h"
#include "platform/unique_handle.h"

namespace standin {

struct ControlChannel::Shared {
    HWND target = nullptr;
    UINT lineMessage = 0, endMessage = 0;
    HANDLE input = nullptr;             // not owned: the process's standard handles
    HANDLE output = nullptr;            // not owned; written by the UI thread only
    std::atomic<bool> stopping{false};  // set by the UI thread before it cancels the read
    std::mutex lock;
    std::deque<std::string> lines;  // guarded by lock
    platform::UniqueHandle thread;  // set before the thread runs; used by the UI thread only
};

namespace {

// A longer line is cut here; the rest arrives as the next line and is answered as an error.
constexpr size_t kMaxLine = 64 * 1024;

}  // namespace

DWORD WINAPI ControlChannel::ReaderProc(void* param) {
    std::unique_ptr<std::shared_ptr<Shared>> holder(static_cast<std::shared_ptr<Shared>*>(param));
    auto& shared = **holder;
    try {
        std::string pending;
        char buffer[4096];
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(shared.input, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
            std::vector<std::string> complete;
            for (DWORD i = 0; i < got; ++i) {
                char c = buffer[i];
                if (c == '\n' || pending.size() >= kMaxLine) {
                    if (!pending.empty() && pending.back() == '\r') pending.pop_back();
                    complete.push_back(std::move(pending));
                    pending.clear();
                    if (c == '\n') continue;
                }
                pending.push_back(c);
            }
            if (complete.empty()) continue;
            {
                std::lock_guard<std::mutex> guard(shared.lock);
                for (auto& line : complete) shared.lines.push_back(std::move(line));
            }
            PostMessageW(shared.target, shared.lineMessage, 0, 0);
        }
    } catch (const std::exception& e) {
        platform::ShowException(e);
    }
    if (!shared.stopping.load()) PostMessageW(shared.target, shared.endMessage, 0, 0);
    return 0;
}

ControlChannel::ControlChannel(HWND target, UINT lineMessage, UINT endMessage)
    : shared_(std::make_shared<Shared>()) {
    shared_->target = target;
    shared_->lineMessage = lineMessage;
    shared_->endMessage = endMessage;
    shared_->input = GetStdHandle(STD_INPUT_HANDLE);
    shared_->output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (shared_->output == INVALID_HANDLE_VALUE) shared_->output = nullptr;
    if (!shared_->input || shared_->input == INVALID_HANDLE_VALUE) return;
    auto param = std::make_unique<std::shared_ptr<Shared>>(shared_);
    shared_->thread.reset(CreateThread(nullptr, 0, ReaderProc, param.get(), 0, nullptr));
    if (shared_->thread) param.release();  // the reader owns it now
}

ControlChannel::~ControlChannel() {
    if (!shared_->thread) return;
    shared_->stopping.store(true);
    CancelSynchronousIo(shared_->thread.get());
    WaitForSingleObject(shared_->thread.get(), 1000);
}

bool ControlChannel::Active() const { return static_cast<bool>(shared_->thread); }

std::vector<std::string> ControlChannel::TakeLines() {
    std::lock_guard<std::mutex> guard(shared_->lock);
    std::vector<std::string> lines(shared_->lines.begin(), shared_->lines.end());
    shared_->lines.clear();
    return lines;
}

void ControlChannel::WriteLine(const std::string& line) {
    if (!shared_->output) return;
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(shared_->output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

}  // namespace standin
