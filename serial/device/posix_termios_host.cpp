// TSioDCB to and from termios.
#include "serial/device/posix_termios.h"

#include <array>
#include <utility>

namespace posix_termios {
namespace {

constexpr std::array<std::pair<uint32_t, speed_t>, 31> kSpeeds{{
    {50, B50},
    {75, B75},
    {110, B110},
    {134, B134},
    {150, B150},
    {200, B200},
    {300, B300},
    {600, B600},
    {1200, B1200},
    {1800, B1800},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {500000, B500000},
    {576000, B576000},
    {921600, B921600},
    {1000000, B1000000},
    {1152000, B1152000},
    {1500000, B1500000},
    {2000000, B2000000},
    {2500000, B2500000},
    {3000000, B3000000},
    {3500000, B3500000},
    {4000000, B4000000},
    {0, B0},
}};

constexpr tcflag_t kLineCflags = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CLOCAL | CREAD
#ifdef CMSPAR
                                 | CMSPAR
#endif
    ;
constexpr tcflag_t kLineIflags = INPCK | IXON | IXOFF | IXANY;

bool UsesRtsCts(const TSioDCB& Dcb) {
    return (Dcb.Flags & dcb::fOutxCtsFlow) ||
           (Dcb.Flags & dcb::RtsControlMask) == dcb::RtsHandshake;
}

}  // namespace

speed_t SpeedOf(uint32_t Baud) {
    if (Baud == 0) return 0;
    for (auto [baud, speed] : kSpeeds)
        if (baud == Baud) return speed;
    return 0;
}

uint32_t BaudOf(speed_t Speed) {
    for (auto [baud, speed] : kSpeeds)
        if (speed == Speed) return baud;
    return 0;
}

bool ToTermios(const TSioDCB& Dcb, termios& Tio) {
    const speed_t speed = SpeedOf(Dcb.BaudRate);
    if (speed == 0 || Dcb.ByteSize < 5 || Dcb.ByteSize > 8 || Dcb.Parity > 4) return false;
#ifndef CMSPAR
    if (Dcb.Parity >= 3) return false;
#endif
    cfmakeraw(&Tio);
    Tio.c_cflag &= ~kLineCflags;
    Tio.c_iflag &= ~kLineIflags;
    Tio.c_cflag |= CLOCAL | CREAD;
    Tio.c_cc[VMIN] = 1;
    Tio.c_cc[VTIME] = 0;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    Tio.c_cflag |= kSizes[Dcb.ByteSize - 5];
    switch (Dcb.Parity) {
        case 1:
            Tio.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            Tio.c_cflag |= PARENB;
            break;
#ifdef CMSPAR
        case 3:
            Tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case 4:
            Tio.c_cflag |= PARENB | CMSPAR;
            break;
#endif
        default:
            break;
    }
    if (Dcb.Flags & dcb::fParity) Tio.c_iflag |= INPCK;
    if (Dcb.StopBits != 0) Tio.c_cflag |= CSTOPB;
    if (UsesRtsCts(Dcb)) Tio.c_cflag |= CRTSCTS;
    if (Dcb.Flags & dcb::fOutX) Tio.c_iflag |= IXON;
    if (Dcb.Flags & dcb::fInX) Tio.c_iflag |= IXOFF;
    Tio.c_cc[VSTART] = static_cast<cc_t>(Dcb.XonChar);
    Tio.c_cc[VSTOP] = static_cast<cc_t>(Dcb.XoffChar);
    cfsetispeed(&Tio, speed);
    cfsetospeed(&Tio, speed);
    return true;
}

TSioDCB FromTermios(const termios& Tio, TSioDCB Dcb) {
    if (uint32_t baud = BaudOf(cfgetospeed(&Tio))) Dcb.BaudRate = baud;
    switch (Tio.c_cflag & CSIZE) {
        case CS5:
            Dcb.ByteSize = 5;
            break;
        case CS6:
            Dcb.ByteSize = 6;
            break;
        case CS7:
            Dcb.ByteSize = 7;
            break;
        default:
            Dcb.ByteSize = 8;
            break;
    }
    Dcb.Parity = 0;
    if (Tio.c_cflag & PARENB) {
        const bool odd = (Tio.c_cflag & PARODD) != 0;
        Dcb.Parity = odd ? 1 : 2;
#ifdef CMSPAR
        if (Tio.c_cflag & CMSPAR) Dcb.Parity = odd ? 3 : 4;
#endif
    }
    // Two stop bits are sent for one and a half as well: a record that asked for that keeps it.
    if (!(Tio.c_cflag & CSTOPB))
        Dcb.StopBits = 0;
    else if (Dcb.StopBits == 0)
        Dcb.StopBits = 2;
    auto setFlag = [&Dcb](uint32_t flag, bool on) {
        Dcb.Flags = on ? (Dcb.Flags | flag) : (Dcb.Flags & ~flag);
    };
    setFlag(dcb::fParity, (Tio.c_iflag & INPCK) != 0);
    setFlag(dcb::fOutX, (Tio.c_iflag & IXON) != 0);
    setFlag(dcb::fInX, (Tio.c_iflag & IXOFF) != 0);
    const bool rtsCts = (Tio.c_cflag & CRTSCTS) != 0;
    if (rtsCts != UsesRtsCts(Dcb)) {
        setFlag(dcb::fOutxCtsFlow, rtsCts);
        Dcb.Flags =
            (Dcb.Flags & ~dcb::RtsControlMask) | (rtsCts ? dcb::RtsHandshake : dcb::RtsEnable);
    }
    Dcb.XonChar = static_cast<char>(Tio.c_cc[VSTART]);
    Dcb.XoffChar = static_cast<char>(Tio.c_cc[VSTOP]);
    return Dcb;
}

bool SameLine(const termios& A, const termios& B) {
    return (A.c_cflag & kLineCflags) == (B.c_cflag & kLineCflags) &&
           (A.c_iflag & kLineIflags) == (B.c_iflag & kLineIflags) &&
           A.c_cc[VSTART] == B.c_cc[VSTART] && A.c_cc[VSTOP] == B.c_cc[VSTOP] &&
           cfgetispeed(&A) == cfgetispeed(&B) && cfgetospeed(&A) == cfgetospeed(&B);
}

}  // namespace posix_termios
