// raw_echo: the baseline of Pelkan's round-trip benchmark. A minimal Windows program that writes
// back every byte it reads from a COM port, with plain blocking calls: what the line and Wine cost
// without Pelkan. Usage: raw_echo <com number>; it runs until it is ended.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/unique_handle.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: raw_echo <com number>\n");
        return 2;
    }
    std::wstring name = L"\\\\.\\COM" + std::wstring(argv[1]);
    platform::UniqueFileHandle port(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                nullptr, OPEN_EXISTING, 0, nullptr));
    if (!port) {
        std::fprintf(stderr, "raw_echo: cannot open the port (error %lu)\n", GetLastError());
        return 1;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(port.get(), &dcb);
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    SetCommState(port.get(), &dcb);
    // Immediate-return reads: under Wine on a pseudo-terminal such a read waits until a byte
    // arrives and then returns what is there, which is the quickest echo the line allows.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    SetCommTimeouts(port.get(), &timeouts);
    std::printf("ready\n");
    std::fflush(stdout);
    char buf[512];
    for (;;) {
        DWORD got = 0, put = 0;
        if (!ReadFile(port.get(), buf, sizeof buf, &got, nullptr)) return 1;
        if (got > 0 && !WriteFile(port.get(), buf, got, &put, nullptr)) return 1;
    }
}
