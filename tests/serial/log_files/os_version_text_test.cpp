// The operating-system text of the dispatch log header, for every row of its table.
#include <gtest/gtest.h>

#include "platform/os_version.h"

namespace {

using platform::OsVersionText;

struct Row {
    uint32_t platform, major, minor, build;
    const char* servicePack;
    const char* expected;
};

constexpr uint32_t kMeBuild = (4u << 24) | (90u << 16) | 3000u;

TEST(OsVersionText, EveryRowOfTheTable) {
    const Row rows[] = {
        {0, 1, 30, 0, "SP", "Win32s on Windows 1.30 SP"},
        {1, 4, 0, 0, " xB ", "Win32 on Windows 95 OSR 2 4.0 "},
        {1, 4, 0, 0, " C", "Win32 on Windows 95 OSR 1 4.0 "},
        {1, 4, 0, 0, "", "Win32 on Windows 95 OSR 1 4.0 "},
        {1, 4, 10, 0, " xA ", "Win32 on Windows 98 OSR 2 4.10 "},
        {1, 4, 10, 0, "A", "Win32 on Windows 98 OSR 1 4.10 "},
        {1, 4, 90, kMeBuild, " ", "Win32 on Windows ME 4.90 "},
        {1, 4, 90, kMeBuild + 1, "", "4.90 "},
        {1, 4, 3, 0, "", "Win32 on Windows 9x4.3 "},
        {2, 2, 6, 0, "SP1", "Window CE 2.6 SP1"},
        {2, 2, 5, 0, "", "2.5 "},
        {2, 3, 51, 1057, "Service Pack 5", "Windows NT 3.5 3.51 Service Pack 5"},
        {2, 4, 0, 1381, "Service Pack 6", "Windows NT 4 4.0 Service Pack 6"},
        {2, 5, 0, 2195, "", "Windows 2000 5.0 "},
        {2, 5, 1, 2600, "Service Pack 3", "Windows XP 5.1 Service Pack 3"},
        {2, 5, 2, 3790, "", "Windows 2003 5.2 "},
        {2, 5, 3, 0, "", "5.3 "},
        {2, 6, 0, 6002, "Service Pack 2", "Windows Vista 6.0 Service Pack 2"},
        {2, 6, 1, 7601, "Service Pack 1", "Windows 7 6.1 Service Pack 1"},
        {2, 6, 2, 9200, "", "6.2 "},
        {2, 6, 3, 9600, "", "6.3 "},
        {2, 0, 9, 0, "", "WinNT 0.9 "},
        {2, 1, 0, 0, "", "WinNT 1.0 "},
        {2, 10, 0, 19045, "", "WinNT 10.0 "},
        {3, 10, 0, 0, "SP", "Unknown10.0 "},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(OsVersionText(r.platform, r.major, r.minor, r.build, r.servicePack), r.expected)
            << "platform " << r.platform << " version " << r.major << "." << r.minor;
    }
}

TEST(OsVersionText, RunningSystemGivesVersionNumbers) {
    std::string text = OsVersionText();
#ifdef _WIN32
    // Every NT-family version this program runs on is 6.2 or later.
    EXPECT_NE(text.find('.'), std::string::npos) << text;
    EXPECT_EQ(text.rfind("Unknown", 0), std::string::npos) << text;
#else
    EXPECT_EQ(text.rfind("Unknown", 0), 0u) << text;
#endif
}

}  // namespace
