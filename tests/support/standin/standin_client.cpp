// Starting the stand-in and talking to it over anonymous pipes. Reads wait with PeekNamedPipe
// and short sleeps: a test waits for one answer at a time and the wait is bounded.
#include "tests/support/standin/standin_client.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "platform/text.h"

namespace standin {
namespace {

std::string Narrow(const std::wstring& text) { return platform::WideToAnsi(text); }

std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    for (wchar_t c : arg) {
        if (c == L'"') out += L'\\';
        out += c;
    }
    return out + L"\"";
}

}  // namespace

StandinClient::~StandinClient() {
    try {
        Stop();
    } catch (...) {
        // A destructor reports nothing; Stop() has terminated the process in any case.
    }
}

std::wstring StandinClient::DefaultExe() {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"PELKAN_STANDIN_EXE", buffer, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return buffer;
    return platform::AnsiToWide(PELKAN_STANDIN_EXE);
}

void StandinClient::Start(const std::vector<std::wstring>& options, DWORD timeoutMs) {
    if (process_) throw std::runtime_error("stand-in already started");
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr, ourIn = nullptr, ourOut = nullptr;
    if (!CreatePipe(&childIn, &ourOut, &inherit, 0))
        throw std::runtime_error("cannot create the stand-in's input pipe");
    platform::UniqueHandle childInOwner(childIn);
    toChild_.reset(ourOut);
    if (!CreatePipe(&ourIn, &childOut, &inherit, 0))
        throw std::runtime_error("cannot create the stand-in's output pipe");
    platform::UniqueHandle childOutOwner(childOut);
    fromChild_.reset(ourIn);
    SetHandleInformation(toChild_.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(fromChild_.get(), HANDLE_FLAG_INHERIT, 0);

    const std::wstring exe = DefaultExe();
    std::wstring commandLine = Quote(exe);
    for (const auto& option : options) commandLine += L" " + Quote(option);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = childIn;
    si.hStdOutput = childOut;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER frequency, started, ready;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &si, &pi))
        throw std::runtime_error("cannot start " + Narrow(exe) + ", error " +
                                 std::to_string(GetLastError()));
    CloseHandle(pi.hThread);
    process_.reset(pi.hProcess);
    processId_ = pi.dwProcessId;
    // Our copies of the child's ends go now, so that its end of input is seen when we close ours.
    childInOwner.reset();
    childOutOwner.reset();

    std::string line = ReadLine(timeoutMs);
    if (line != "ready") throw std::runtime_error("stand-in said \"" + line + "\", not ready");
    QueryPerformanceCounter(&ready);
    startMs_ = 1000.0 * (ready.QuadPart - started.QuadPart) / frequency.QuadPart;
}

std::string StandinClient::ReadLine(DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        DWORD available = 0;
        if (!PeekNamedPipe(fromChild_.get(), nullptr, 0, nullptr, &available, nullptr))
            throw std::runtime_error("the stand-in has ended");
        if (available > 0) {
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(fromChild_.get(), buffer,
                          sizeof buffer < available ? sizeof buffer : available, &got, nullptr))
                throw std::runtime_error("the stand-in has ended");
            pending_.append(buffer, got);
            continue;
        }
        if (GetTickCount64() >= deadline) throw std::runtime_error("no answer from the stand-in");
        Sleep(2);
    }
}

std::string StandinClient::Command(const std::string& line, DWORD timeoutMs) {
    if (!process_) throw std::runtime_error("stand-in not started");
    std::string text = line + "\n";
    DWORD written = 0;
    if (!WriteFile(toChild_.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                   nullptr) ||
        written != text.size())
        throw std::runtime_error("cannot write to the stand-in");
    return ReadLine(timeoutMs);
}

std::string StandinClient::Ok(const std::string& line, DWORD timeoutMs) {
    std::string answer = Command(line, timeoutMs);
    if (answer == "ok") return {};
    if (answer.rfind("ok ", 0) == 0) return answer.substr(3);
    throw std::runtime_error("stand-in: \"" + line + "\" answered \"" + answer + "\"");
}

std::vector<std::string> StandinClient::Events() {
    std::istringstream in(Ok("events"));
    std::vector<std::string> events;
    for (std::string e; in >> e;) events.push_back(e);
    return events;
}

std::string StandinClient::State(const std::string& key) {
    std::istringstream in(Ok("state"));
    for (std::string word; in >> word;)
        if (word.rfind(key + "=", 0) == 0) return word.substr(key.size() + 1);
    return "(no " + key + ")";
}

bool StandinClient::Saw(const std::string& event) {
    for (auto& e : Events()) seen_.push_back(e);
    return std::find(seen_.begin(), seen_.end(), event) != seen_.end();
}

std::string StandinClient::Seen() const {
    std::string all;
    for (auto& e : seen_) all += e + " ";
    return all;
}

bool StandinClient::Running() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

void StandinClient::Stop() {
    if (!process_) return;
    if (Running()) {
        try {
            Command("quit", 3000);
        } catch (const std::exception&) {
            // It may have ended or hung; closing its input and the wait below settle it.
        }
    }
    toChild_.reset();
    if (WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0)
        TerminateProcess(process_.get(), 1);
    fromChild_.reset();
    process_.reset();
    processId_ = 0;
    pending_.clear();
}

std::string PatternBits(int count, unsigned seed) {
    std::string bits;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        bits += (seed >> 16) & 1 ? '1' : '0';
    }
    return bits;
}

std::vector<int> SampledStates(const std::string& bits, bool fx) {
    std::vector<int> states(160, -2);
    const int perRow = fx ? 8 : 16;
    for (int i = 0; i < perRow * 10 && i < static_cast<int>(bits.size()); ++i)
        states[(i / perRow) * 16 + i % perRow] = bits[i] - '0';
    return states;
}

}  // namespace standin
