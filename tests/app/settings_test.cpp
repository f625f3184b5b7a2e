// The settings file's number formats and the INI access.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <optional>

#include "tests/app/test_files.h"

namespace {

struct IntegerCase {
    std::wstring text;
    std::optional<int32_t> value;
};

TEST(SettingsNumbers, IniIntegersAreDecimalOrHexadecimalAfter0x) {
    const IntegerCase cases[] = {
        {L"504", 504},
        {L"0x1F8", 504},
        {L"0X1f8", 504},
        {L"-1", -1},
        {L"+7", 7},
        {L"0x", std::nullopt},
        {L"0xG", std::nullopt},
        {L"abc", std::nullopt},
        {L"", std::nullopt},
        {L"1 2", std::nullopt},
        {L"12a", std::nullopt},
        {L"2147483647", 2147483647},
        {L"2147483648", std::nullopt},
        {L"-2147483648", -2147483647 - 1},
        {L"0xFFFFFFFF", -1},
        {L"0x100000000", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseIniInteger(c.text), c.value) << std::string(c.text.begin(), c.text.end());
    }
}

struct DecimalCase {
    std::wstring text;
    wchar_t separator;
    std::optional<double> value;
};

TEST(SettingsNumbers, DecimalsUseTheGivenSeparatorOnly) {
    const DecimalCase cases[] = {
        {L"1.5", L'.', 1.5},          {L"1,5", L',', 1.5},         {L"1.5", L',', std::nullopt},
        {L"1,5", L'.', std::nullopt}, {L"2", L'.', 2.0},           {L"-0.25", L'.', -0.25},
        {L" 1.25 ", L'.', 1.25},      {L"1e3", L'.', 1000.0},      {L"1.", L'.', 1.0},
        {L".5", L'.', 0.5},           {L".", L'.', std::nullopt},  {L"abc", L'.', std::nullopt},
        {L"", L'.', std::nullopt},    {L"1e", L'.', std::nullopt}, {L"nan", L'.', std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseDecimal(c.text, c.separator), c.value)
            << std::string(c.text.begin(), c.text.end()) << " with " << char(c.separator);
    }
}

TEST(SettingsNumbers, ScaleIsWrittenInGeneralFormatWithoutTrailingZeros) {
    const struct {
        double value;
        wchar_t separator;
        std::wstring text;
    } cases[] = {
        {1.0, L'.', L"1"},
        {1.25, L'.', L"1.25"},
        {1.5, L',', L"1,5"},
        {0.1, L'.', L"0.1"},
        {1.0 / 3.0, L'.', L"0.333333333333333"},
        {-2.5, L'.', L"-2.5"},
        {1e20, L'.', L"1E20"},
        {1.5e-7, L'.', L"1.5E-7"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatGeneral(c.value, c.separator), c.text) << c.value;
}

// The largest doubles come out of 15 digits rounded past the largest double; they read back as
// the largest double, not as the default. Beyond that rounding a value is still out of range.
TEST(SettingsNumbers, TheLargestDoublesReadBackAfterBeingWritten) {
    const double max = std::numeric_limits<double>::max();
    for (double value : {max, -max, std::nextafter(max, 0.0), 1.7976931348623e308}) {
        const std::wstring text = FormatGeneral(value, L'.');
        const std::optional<double> back = ParseDecimal(text, L'.');
        ASSERT_TRUE(back.has_value()) << value;
        EXPECT_LE(std::fabs(*back - value), 1e-14 * std::fabs(value)) << value;
    }
    EXPECT_EQ(ParseDecimal(L"1.79769313486232E308", L'.'), max);
    EXPECT_EQ(ParseDecimal(L"-1.79769313486232E308", L'.'), -max);
    EXPECT_EQ(ParseDecimal(L"1.79769313486233E308", L'.'), std::nullopt);
    EXPECT_EQ(ParseDecimal(L"1E309", L'.'), std::nullopt);
}

TEST(SettingsNumbers, FieldsShowFourDecimals) {
    EXPECT_EQ(FormatFixed4(1.0, L'.'), L"1.0000");
    EXPECT_EQ(FormatFixed4(1.23456, L'.'), L"1.2346");
    EXPECT_EQ(FormatFixed4(1.5, L','), L"1,5000");
    EXPECT_EQ(FormatFixed4(-0.5, L'.'), L"-0.5000");
}

TEST(SettingsPath, IsTheExecutablesPathWithIni) {
    EXPECT_EQ(WithIniExtension(L"C:\\Tools\\pelkan.exe"), L"C:\\Tools\\pelkan.ini");
    EXPECT_EQ(WithIniExtension(L"C:\\my.tools\\pelkan"), L"C:\\my.tools\\pelkan.ini");
    EXPECT_EQ(WithIniExtension(L"/opt/pelkan/bin/pelkan_test"), L"/opt/pelkan/bin/pelkan_test.ini");
    std::wstring own = ExecutableSettingsPath();
    ASSERT_GT(own.size(), 4u);
    EXPECT_EQ(own.substr(own.size() - 4), L".ini");
}

TEST(IniFileTest, ReadsWhatItWroteAndMatchesNamesWithoutCase) {
    TestFolder folder;
    IniFile ini(folder.File("a.ini").wstring());
    EXPECT_EQ(ini.ReadString(L"Form", L"Left"), std::nullopt);  // no file yet
    ini.WriteInteger(L"Form", L"Left", -12);
    ini.WriteInteger(L"Capt", L"captW", 504);
    ini.WriteFloat(L"Capt", L"Scale", 1.25, L'.');
    ini.WriteInteger(L"form", L"LEFT", 30);  // replaces, does not add
    EXPECT_EQ(ini.ReadInteger(L"FORM", L"left", 0), 30);
    EXPECT_EQ(ini.ReadInteger(L"Capt", L"CAPTW", 0), 504);
    EXPECT_DOUBLE_EQ(ini.ReadFloat(L"capt", L"scale", 0, L'.'), 1.25);
    EXPECT_EQ(ini.ReadString(L"Capt", L"missing"), std::nullopt);
    EXPECT_EQ(ini.ReadString(L"Nowhere", L"Left"), std::nullopt);
    EXPECT_EQ(ini.ReadInteger(L"Capt", L"missing", 77), 77);
}

TEST(IniFileTest, ReadsValuesAsTheProfileApiGivesThem) {
    TestFolder folder;
    WriteFile(folder.File("b.ini"),
              "; written by hand\r\n[Capt]\r\n  captW =  0x1F8  \r\ncaptH=\"400\"\r\nScale=abc\r\n"
              "captH=999\r\n[Capt2]\r\ncaptL=1\r\n");
    IniFile ini(folder.File("b.ini").wstring());
    EXPECT_EQ(ini.ReadInteger(L"Capt", L"captW", 0), 504);
    EXPECT_EQ(ini.ReadInteger(L"Capt", L"captH", 0), 400);  // quotes dropped, first key wins
    EXPECT_DOUBLE_EQ(ini.ReadFloat(L"Capt", L"Scale", 1.0, L'.'), 1.0);
    EXPECT_EQ(ini.ReadString(L"Capt", L"captL"), std::nullopt);  // belongs to another section
}

TEST(IniFileTest, AWriteThatFailsRaisesWithThePath) {
    TestFolder folder;
    std::wstring path = (folder.File("no-such-folder") / "c.ini").wstring();
    IniFile ini(path);
    try {
        ini.WriteInteger(L"Form", L"Left", 1);
        FAIL() << "no error for an unwritable file";
    } catch (const SettingsWriteError& e) {
        EXPECT_EQ(e.Message(), path + L" に書き込めません");
    }
}

#ifndef _WIN32
// The host writer keeps other lines and appends new sections and keys where the profile API does.
TEST(IniFileTest, HostWriterKeepsTheRestOfTheFile) {
    TestFolder folder;
    WriteFile(folder.File("d.ini"), "; mine\n[COM]\nPortIndex=2\nOther=x\n\n[Extra]\nA=1\n");
    IniFile ini(folder.File("d.ini").wstring());
    ini.WriteInteger(L"com", L"portindex", 0);
    ini.WriteInteger(L"COM", L"New", 5);
    ini.WriteInteger(L"Form", L"Left", 3);
    EXPECT_EQ(ReadFile(folder.File("d.ini")),
              "; mine\r\n[COM]\r\nPortIndex=0\r\nOther=x\r\nNew=5\r\n\r\n[Extra]\r\nA=1\r\n\r\n"
              "[Form]\r\nLeft=3\r\n");
}

// Bytes that are not UTF-8 (a file saved in a single-byte code page) are read as the characters
// of that byte each; they never take the line end or the lines after them along.
TEST(IniFileTest, HostReaderTakesBytesThatAreNotUtf8OneByOne) {
    const struct {
        const char* name;
        std::string value;      // bytes of k0's value
        std::wstring expected;  // what ReadString gives
    } cases[] = {
        {"single-byte e-acute", "\xE9", L"\u00E9"},
        {"two-byte lead at the end", "a\xC3", L"a\u00C3"},
        {"three-byte lead before ASCII", "\xE2x", L"\u00E2x"},
        {"four-byte lead, one continuation", "\xF0\x9F", L"\u00F0\u009F"},
        {"lead byte F8", "\xF8\x80\x80\x80\x80", L"\u00F8\u0080\u0080\u0080\u0080"},
        {"overlong slash", "\xC0\xAF", L"\u00C0\u00AF"},
        {"encoded surrogate", "\xED\xA0\x80", L"\u00ED\u00A0\u0080"},
        {"valid e-acute", "\xC3\xA9", L"\u00E9"},
        {"valid three bytes", "\xE3\x81\x82", L"\u3042"},
    };
    for (const auto& c : cases) {
        TestFolder folder;
        WriteFile(folder.File("f.ini"), "[S]\r\nk0=" + c.value + "\r\nk1=1\r\n[T]\r\nk2=2\r\n");
        IniFile ini(folder.File("f.ini").wstring());
        EXPECT_EQ(ini.ReadString(L"S", L"k0"), c.expected) << c.name;
        EXPECT_EQ(ini.ReadInteger(L"S", L"k1", 0), 1) << c.name;
        EXPECT_EQ(ini.ReadInteger(L"T", L"k2", 0), 2) << c.name;
    }
}

TEST(SettingsLocale, ScaleUnderACommaLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous ? previous : "C";
    bool found = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE", "nl_NL.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            found = true;
            break;
        }
    }
    if (!found) GTEST_SKIP() << "this machine offers no locale with a decimal comma";
    TestFolder folder;
    WriteFile(folder.File("e.ini"), "[Capt]\r\nScale=1,5\r\n");
    IniFile ini(folder.File("e.ini").wstring());
    const wchar_t separator = LocaleDecimalSeparator();
    EXPECT_EQ(separator, L',');
    EXPECT_DOUBLE_EQ(ini.ReadFloat(L"Capt", L"Scale", 1.0, separator), 1.5);
    ini.WriteFloat(L"Capt", L"Scale", 2.25, separator);
    EXPECT_EQ(ini.ReadString(L"Capt", L"Scale"), L"2,25");
    std::setlocale(LC_NUMERIC, saved.c_str());
}
#endif

}  // namespace
