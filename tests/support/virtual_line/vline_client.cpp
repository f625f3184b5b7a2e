// VirtualLinePeer over a loopback TCP connection: Winsock under Windows, BSD sockets elsewhere.
#include "tests/support/virtual_line/vline_client.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace vline {

namespace {
#ifdef _WIN32
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
void CloseSocket(Socket s) { closesocket(s); }
struct WinsockStartup {
    WinsockStartup() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
void CloseSocket(Socket s) { ::close(s); }
#endif

Socket AsSocket(intptr_t s) { return static_cast<Socket>(s); }

std::runtime_error Broken(const std::string& what) {
    return std::runtime_error("virtual line control: " + what);
}
}  // namespace

bool VirtualLinePeer::Available() {
    return std::getenv("PELKAN_VLINE_CONTROL") != nullptr &&
           std::getenv("PELKAN_VLINE_COM") != nullptr;
}

int VirtualLinePeer::ComNumber() {
    const char* com = std::getenv("PELKAN_VLINE_COM");
    return com ? std::atoi(com) : 0;
}

std::wstring VirtualLinePeer::DeviceName() { return L"\\\\.\\COM" + std::to_wstring(ComNumber()); }

VirtualLinePeer::VirtualLinePeer() {
#ifdef _WIN32
    static WinsockStartup startup;
#endif
    const char* control = std::getenv("PELKAN_VLINE_CONTROL");
    if (!control) throw Broken("PELKAN_VLINE_CONTROL is not set");
    std::string text = control;
    size_t colon = text.rfind(':');
    if (colon == std::string::npos) throw Broken("bad address " + text);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(std::atoi(text.c_str() + colon + 1)));
    inet_pton(AF_INET, text.substr(0, colon).c_str(), &addr.sin_addr);
    Socket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == kNoSocket) throw Broken("no socket");
    if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        CloseSocket(s);
        throw Broken("cannot connect to " + text);
    }
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    socket_ = static_cast<intptr_t>(s);
}

VirtualLinePeer::~VirtualLinePeer() {
    if (socket_ != -1) CloseSocket(AsSocket(socket_));
}

void VirtualLinePeer::SendRaw(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        int n = ::send(AsSocket(socket_), bytes.data() + done,
                       static_cast<int>(bytes.size() - done), 0);
        if (n <= 0) throw Broken("send failed");
        done += static_cast<size_t>(n);
    }
}

std::string VirtualLinePeer::ReadLine() {
    std::string line;
    char c;
    while (true) {
        if (::recv(AsSocket(socket_), &c, 1, 0) != 1) throw Broken("connection lost");
        if (c == '\n') return line;
        line += c;
    }
}

std::string VirtualLinePeer::ReadBytes(size_t n) {
    std::string out(n, '\0');
    size_t done = 0;
    while (done < n) {
        int r = ::recv(AsSocket(socket_), out.data() + done, static_cast<int>(n - done), 0);
        if (r <= 0) throw Broken("connection lost");
        done += static_cast<size_t>(r);
    }
    return out;
}

std::string VirtualLinePeer::Request(const std::string& line) {
    SendRaw(line + "\n");
    return ReadLine();
}

void VirtualLinePeer::Send(const std::string& bytes) {
    SendRaw("SEND " + std::to_string(bytes.size()) + "\n" + bytes);
    if (ReadLine() != "OK") throw Broken("SEND refused");
}

void VirtualLinePeer::Generate(uint64_t n, uint32_t seed) {
    if (Request("GEN " + std::to_string(n) + " " + std::to_string(seed)) != "OK")
        throw Broken("GEN refused");
}

bool VirtualLinePeer::WaitSent(uint32_t timeoutMs) {
    return Request("WAITSENT " + std::to_string(timeoutMs)) == "OK";
}

std::string VirtualLinePeer::Receive(size_t n, uint32_t timeoutMs) {
    std::string head = Request("RECV " + std::to_string(n) + " " + std::to_string(timeoutMs));
    if (head.rfind("DATA ", 0) != 0) throw Broken("bad answer " + head);
    return ReadBytes(static_cast<size_t>(std::stoull(head.substr(5))));
}

uint64_t VirtualLinePeer::Check(uint64_t n, uint32_t seed, uint32_t timeoutMs) {
    std::string answer = Request("CHECK " + std::to_string(n) + " " + std::to_string(seed) + " " +
                                 std::to_string(timeoutMs));
    if (answer.rfind("CHECK ", 0) != 0) throw Broken("bad answer " + answer);
    return std::stoull(answer.substr(6));
}

size_t VirtualLinePeer::Pending() {
    std::istringstream in(Request("COUNT"));
    std::string word;
    size_t pending = 0;
    in >> word >> pending;
    return pending;
}

uint64_t VirtualLinePeer::TotalReceived() {
    std::istringstream in(Request("COUNT"));
    std::string word;
    uint64_t pending = 0, total = 0;
    in >> word >> pending >> total;
    return total;
}

void VirtualLinePeer::Clear() {
    if (Request("CLEAR") != "OK") throw Broken("CLEAR refused");
}

void VirtualLinePeer::Hold(bool on) {
    if (Request(on ? "HOLD on" : "HOLD off") != "OK") throw Broken("HOLD refused");
}

void VirtualLinePeer::Hangup() {
    if (Request("HANGUP") != "OK") throw Broken("HANGUP refused");
}

void VirtualLinePeer::Reset() {
    if (Request("RESET") != "OK") throw Broken("RESET refused");
}

std::vector<int64_t> VirtualLinePeer::RoundTrips(const std::string& line, int count,
                                                 uint32_t timeoutMs) {
    SendRaw("RTT " + std::to_string(count) + " " + std::to_string(timeoutMs) + " " +
            std::to_string(line.size()) + "\n" + line);
    std::istringstream in(ReadLine());
    std::string word;
    in >> word;
    std::vector<int64_t> times;
    int64_t us;
    while (in >> us) times.push_back(us);
    return times;
}

}  // namespace vline
