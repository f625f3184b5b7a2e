// VirtualLine: the pty pair, its dosdevices link and the two threads that play the remote party.
#include "tests/support/virtual_line/virtual_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "tests/support/virtual_line/pattern.h"

namespace vline {

namespace {
constexpr int kPollMs = 20;

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}
}  // namespace

VirtualLine::VirtualLine(std::string winePrefix, int comNumber)
    : prefix_(std::move(winePrefix)), com_(comNumber) {
    linkPath_ = prefix_ + "/dosdevices/com" + std::to_string(com_);
    Open();
}

VirtualLine::~VirtualLine() {
    Close();
    ::unlink(linkPath_.c_str());
}

std::string VirtualLine::SlavePath() const { return slaveName_; }

void VirtualLine::Open() {
    int master = -1, slave = -1;
    char name[128] = {};
    termios raw{};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0) throw SystemError("openpty");
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    master_ = master;
    slave_ = slave;
    slaveName_ = name;
    std::filesystem::create_directories(prefix_ + "/dosdevices");
    ::unlink(linkPath_.c_str());
    if (::symlink(slaveName_.c_str(), linkPath_.c_str()) != 0) {
        auto err = SystemError("symlink " + linkPath_);
        Close();
        throw err;
    }
    stop_.store(false);
    reader_ = std::thread([this, master] { ReaderLoop(master); });
    writer_ = std::thread([this, master] { WriterLoop(master); });
}

void VirtualLine::Close() {
    stop_.store(true);
    changed_.notify_all();
    if (reader_.joinable()) reader_.join();
    if (writer_.joinable()) writer_.join();
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
    std::lock_guard lock(mutex_);
    output_.clear();
    writing_ = false;
    changed_.notify_all();
}

void VirtualLine::Hangup() { Close(); }

void VirtualLine::Hold(bool on) { hold_.store(on); }

void VirtualLine::Reset() {
    Close();
    {
        std::lock_guard lock(mutex_);
        received_.clear();
    }
    hold_.store(false);
    Open();
}

void VirtualLine::ReaderLoop(int fd) {
    uint8_t buf[4096];
    while (!stop_.load()) {
        if (hold_.load()) {
            ::usleep(kPollMs * 1000);
            continue;
        }
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, kPollMs);
        if (r <= 0) continue;
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            std::lock_guard lock(mutex_);
            received_.insert(received_.end(), buf, buf + n);
            totalReceived_ += static_cast<uint64_t>(n);
            changed_.notify_all();
        } else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
            return;
        } else if (n < 0 && errno == EIO) {
            // No slave open right now (only between our own close and reopen): try again.
            ::usleep(kPollMs * 1000);
        }
    }
}

void VirtualLine::WriterLoop(int fd) {
    while (!stop_.load()) {
        std::string piece;
        {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, std::chrono::milliseconds(kPollMs),
                              [this] { return stop_.load() || !output_.empty(); });
            if (output_.empty()) continue;
            piece = std::move(output_.front());
            output_.pop_front();
            writing_ = true;
        }
        size_t done = 0;
        while (done < piece.size() && !stop_.load()) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, kPollMs) <= 0) continue;
            ssize_t n = ::write(fd, piece.data() + done, piece.size() - done);
            if (n > 0)
                done += static_cast<size_t>(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
        }
        std::lock_guard lock(mutex_);
        writing_ = false;
        changed_.notify_all();
    }
}

void VirtualLine::Send(const std::string& bytes) {
    if (bytes.empty()) return;
    std::lock_guard lock(mutex_);
    output_.push_back(bytes);
    changed_.notify_all();
}

void VirtualLine::Generate(uint64_t n, uint32_t seed) {
    constexpr size_t kPiece = 16 * 1024;
    for (uint64_t first = 0; first < n; first += kPiece) {
        std::string piece(static_cast<size_t>(std::min<uint64_t>(kPiece, n - first)), '\0');
        FillPattern(seed, first, reinterpret_cast<uint8_t*>(piece.data()), piece.size());
        Send(piece);
    }
}

bool VirtualLine::WaitSent(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return output_.empty() && !writing_; });
}

std::string VirtualLine::Receive(size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return received_.size() >= n; });
    size_t k = std::min(n, received_.size());
    std::string out(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(k));
    received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(k));
    return out;
}

uint64_t VirtualLine::Check(uint64_t n, uint32_t seed, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    uint64_t matched = 0;
    std::unique_lock lock(mutex_);
    while (matched < n) {
        if (received_.empty() &&
            !changed_.wait_until(lock, deadline, [this] { return !received_.empty(); }))
            return matched;
        while (!received_.empty() && matched < n) {
            if (received_.front() != PatternByte(seed, matched)) return matched;
            received_.pop_front();
            ++matched;
        }
    }
    return matched;
}

size_t VirtualLine::Pending() {
    std::lock_guard lock(mutex_);
    return received_.size();
}

uint64_t VirtualLine::TotalReceived() {
    std::lock_guard lock(mutex_);
    return totalReceived_;
}

void VirtualLine::ClearReceived() {
    std::lock_guard lock(mutex_);
    received_.clear();
}

std::vector<int64_t> VirtualLine::RoundTrips(const std::string& line, int count,
                                             std::chrono::milliseconds timeout) {
    std::vector<int64_t> times;
    for (int i = 0; i < count; ++i) {
        ClearReceived();
        auto start = std::chrono::steady_clock::now();
        Send(line);
        std::unique_lock lock(mutex_);
        bool back =
            changed_.wait_for(lock, timeout, [&] { return received_.size() >= line.size(); });
        auto end = std::chrono::steady_clock::now();
        if (!back || !std::equal(line.begin(), line.end(), received_.begin(),
                                 [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }))
            break;
        received_.clear();
        times.push_back(std::chrono::duration_cast<std::chrono::microseconds>(end - start).count());
    }
    return times;
}

}  // namespace vline
