// The settings file reader of the host build: fuzzed file contents read by name and by type, then
// values written and read back. A write must read back as written (numbers within the 15
// digits the file keeps) and leave every other key's value as it was.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "app/settings.h"
#include "fuzz/fuzz_check.h"

namespace {

const std::string& FilePath() {
    static const std::string path =
        "/tmp/pelkan-settings-fuzz-" + std::to_string(static_cast<long>(getpid())) + ".ini";
    return path;
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// A section or key name the file can hold: ASCII letters, digits and underscores.
std::wstring Name(FuzzedDataProvider& in) {
    std::wstring name;
    const size_t n = in.ConsumeIntegralInRange<size_t>(1, 6);
    for (size_t i = 0; i < n; ++i) {
        static constexpr char kChars[] = "abcdefKLMNOP0123_";
        name += static_cast<wchar_t>(kChars[in.ConsumeIntegralInRange<size_t>(0, 16)]);
    }
    return name;
}

// A value the file can hold on one line: any character but NUL, CR and LF, no space or tab at
// either end, not enclosed in a pair of quotes (the reader drops those).
std::wstring Value(FuzzedDataProvider& in) {
    std::wstring value;
    const size_t n = in.ConsumeIntegralInRange<size_t>(0, 12);
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0x20, 0x7E)
                                      : in.ConsumeIntegralInRange<uint32_t>(1, 0x10FFFF);
        if (c == '\r' || c == '\n' || (c >= 0xD800 && c <= 0xDFFF)) c = 'x';
        value += static_cast<wchar_t>(c);
    }
    while (!value.empty() && (value.front() == L' ' || value.front() == L'\t')) value.erase(0, 1);
    while (!value.empty() && (value.back() == L' ' || value.back() == L'\t')) value.pop_back();
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
        value.back() == value.front())
        value += L'x';
    return value;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<int>(a[i])) != std::tolower(static_cast<int>(b[i])))
            return false;
    return true;
}

struct Key {
    std::wstring section, key;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string contents = FuzzBytes(in, 2048);
    if (FILE* f = std::fopen(FilePath().c_str(), "wb")) {
        std::fwrite(contents.data(), 1, contents.size(), f);
        std::fclose(f);
    }
    IniFile ini(Wide(FilePath()));

    // Names from the file itself and made-up ones, read as text and as numbers.
    std::vector<Key> keys;
    for (int i = 0; i < 4; ++i) keys.push_back({Name(in), Name(in)});
    for (const Key& k : keys) {
        (void)ini.ReadString(k.section, k.key);
        (void)ini.ReadInteger(k.section, k.key, 7);
        const double f = ini.ReadFloat(k.section, k.key, 1.0, L'.');
        FuzzCheck(!std::isnan(f), "a float read gives NaN");
    }

    const int writes = in.ConsumeIntegralInRange<int>(1, 4);
    for (int w = 0; w < writes; ++w) {
        std::vector<std::optional<std::wstring>> before;
        for (const Key& k : keys) before.push_back(ini.ReadString(k.section, k.key));
        const Key target{Name(in), Name(in)};
        const int kind = in.ConsumeIntegralInRange<int>(0, 2);
        if (kind == 0) {
            const std::wstring value = Value(in);
            ini.WriteString(target.section, target.key, value);
            FuzzCheck(ini.ReadString(target.section, target.key) == value,
                      "a string does not read back as written");
        } else if (kind == 1) {
            const int32_t value = in.ConsumeIntegral<int32_t>();
            ini.WriteInteger(target.section, target.key, value);
            FuzzCheck(ini.ReadInteger(target.section, target.key, value ^ 1) == value,
                      "an integer does not read back as written");
        } else {
            const double value = in.ConsumeFloatingPoint<double>();
            if (!std::isfinite(value)) continue;
            ini.WriteFloat(target.section, target.key, value, L'.');
            const double back = ini.ReadFloat(target.section, target.key, std::nan(""), L'.');
            FuzzCheck(std::fabs(back - value) <= 1e-14 * std::fabs(value) ||
                          std::fabs(back - value) <= std::numeric_limits<double>::denorm_min(),
                      "a float does not read back as written: " + std::to_string(value));
        }
        for (size_t i = 0; i < keys.size(); ++i) {
            const Key& k = keys[i];
            if (SameName(k.section, target.section) && SameName(k.key, target.key)) continue;
            FuzzCheck(ini.ReadString(k.section, k.key) == before[i],
                      "a write changed another key's value");
        }
        keys.push_back(target);
    }
    std::remove(FilePath().c_str());
    return 0;
}
