// The line record to termios and back: every field termios holds survives the round trip.
#include "serial/device/posix_termios.h"

#include <gtest/gtest.h>

namespace {

TEST(PosixTermios, WhatTermiosHoldsSurvivesTheRoundTrip) {
    struct Case {
        uint32_t baud;
        uint8_t bits, parity, stop;
        uint32_t flags;
    } cases[] = {
        {9600, 8, 0, 0, dcb::fBinary},
        {19200, 7, 2, 2, dcb::fBinary | dcb::fParity},
        {115200, 5, 1, 1, dcb::fBinary | dcb::fOutX | dcb::fInX},
        {300, 6, 3, 0, dcb::fBinary | dcb::fOutxCtsFlow | dcb::RtsHandshake},
        {4000000, 8, 4, 2, dcb::fBinary},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.baud);
        TSioDCB in;
        in.BaudRate = c.baud;
        in.ByteSize = c.bits;
        in.Parity = c.parity;
        in.StopBits = c.stop;
        in.Flags = c.flags;
        in.XonChar = 0x11;
        in.XoffChar = 0x13;
        termios tio{};
        ASSERT_TRUE(posix_termios::ToTermios(in, tio));
        TSioDCB out = posix_termios::FromTermios(tio, TSioDCB{});
        EXPECT_EQ(in.BaudRate, out.BaudRate);
        EXPECT_EQ(in.ByteSize, out.ByteSize);
        EXPECT_EQ(in.Parity, out.Parity);
        EXPECT_EQ(in.StopBits == 0, out.StopBits == 0);
        EXPECT_EQ(in.Flags & (dcb::fParity | dcb::fOutX | dcb::fInX | dcb::fOutxCtsFlow),
                  out.Flags & (dcb::fParity | dcb::fOutX | dcb::fInX | dcb::fOutxCtsFlow));
        EXPECT_EQ(in.XonChar, out.XonChar);
        EXPECT_EQ(in.XoffChar, out.XoffChar);
        EXPECT_EQ(0u, tio.c_lflag & (ICANON | ECHO | ISIG)) << "raw";
        EXPECT_TRUE(tio.c_cflag & CLOCAL);
    }
}

TEST(PosixTermios, WhatTermiosCannotHoldIsRefused) {
    TSioDCB rec;
    rec.BaudRate = 12345;
    termios tio{};
    EXPECT_FALSE(posix_termios::ToTermios(rec, tio)) << "no such speed";
    rec.BaudRate = 9600;
    rec.ByteSize = 9;
    EXPECT_FALSE(posix_termios::ToTermios(rec, tio));
    rec.ByteSize = 8;
    rec.Parity = 5;
    EXPECT_FALSE(posix_termios::ToTermios(rec, tio));
}

}  // namespace
