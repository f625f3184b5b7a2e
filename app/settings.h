// The settings file beside the executable: the capture geometry, the INI access (the Windows
// profile API in the program, an INI reader and writer of the same rules on the host) and the
// number formats the file uses.
#pragma once
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The six capture geometry values, at their start values: what a first run without a settings
// file samples with, and what the file gets for a key it lacks.
struct CaptureSettings {
    double Scale = 1.0;
    int32_t captW = 504;
    int32_t captH = 372;
    int32_t captL = 243;
    int32_t pickXOff = 8;
    int32_t pickYOff = 6;
    // "Scale=auto": the scale follows the grid window's display scale on every tick and Scale
    // above is not used; a number in the file turns it off.
    bool AutoScale = true;
    bool operator==(const CaptureSettings&) const = default;
};

// What the settings page's "規定値に戻す" puts in its fields, and what "更新" takes for a field
// that does not parse. Its pick offsets (10 and 8) are not the start values above (8 and 6): the
// program has always had both sets, so a first run samples with 8 and 6 and the button followed
// by "更新" gives 10 and 8. At the default geometry (cells of 31.5 by 33.8 pixels) both points lie
// well inside the same cell and sample the same grid, so neither set is wrong; they are kept as
// they are because a change to either would move the sample points of existing settings files
// and of users who rely on the button.
constexpr CaptureSettings kSettingsPageDefaults{
    .Scale = 1.0, .captW = 504, .captH = 372, .captL = 243, .pickXOff = 10, .pickYOff = 8};

// The scale's text for "auto" in the settings file and the settings page's field; it matches
// without regard to case, spaces around allowed.
inline constexpr std::wstring_view kAutoScaleText = L"auto";
bool IsAutoScaleText(std::wstring_view text);

// The largest screen made: 8K, 7680 x 4320 pixels (4320 x 7680 in portrait). The capture frame is
// a part of one screen, so a scaled size or offset past a side of it, or a frame larger than it,
// is a value typed wrong; taken as it is, it would make every tick copy and sample an image of
// hundreds of megabytes, or push the frame's corner past the 32-bit range.
constexpr int32_t kLargestScreenSide = 7680;
constexpr int64_t kLargestScreenArea = int64_t{7680} * 4320;

// What makes the geometry impossible on a screen, for the user to read (one line, the field's
// caption and the value as typed or read, the scale with the given separator); nothing when the
// geometry fits: Scale finite, each of the five values times Scale within kLargestScreenSide
// either way, and the scaled frame within kLargestScreenArea. Sizes of 0 or below are not refused
// (they capture nothing).
std::optional<std::wstring> CaptureGeometryProblem(const CaptureSettings& settings,
                                                   wchar_t separator);

// A settings file that could not be written: "<path> に書き込めません".
class SettingsWriteError : public std::runtime_error {
  public:
    explicit SettingsWriteError(const std::wstring& path);
    const std::wstring& Message() const { return message_; }

  private:
    std::wstring message_;
};

// One INI file. Section and key names match without regard to case. Every write goes to the file
// at once; a write that fails raises SettingsWriteError.
class IniFile {
  public:
    explicit IniFile(std::wstring path) : path_(std::move(path)) {}
    const std::wstring& Path() const { return path_; }

    // The value as the profile API gives it (spaces around it removed, one pair of enclosing
    // quotes removed); empty when the section or the key is missing.
    std::optional<std::wstring> ReadString(const std::wstring& section,
                                           const std::wstring& key) const;
    void WriteString(const std::wstring& section, const std::wstring& key,
                     const std::wstring& value);

    // Decimal, or hexadecimal after "0x"/"0X" when the value has three or more characters; the
    // default when missing or unparsable.
    int32_t ReadInteger(const std::wstring& section, const std::wstring& key, int32_t def) const;
    void WriteInteger(const std::wstring& section, const std::wstring& key, int32_t value);
    // A decimal number with the given decimal separator; the default when missing or unparsable.
    double ReadFloat(const std::wstring& section, const std::wstring& key, double def,
                     wchar_t separator) const;
    // General format, up to 15 significant digits, no trailing zeros.
    void WriteFloat(const std::wstring& section, const std::wstring& key, double value,
                    wchar_t separator);

  private:
    std::wstring path_;
};

// Number texts of the settings file and the setting fields.
std::optional<int32_t> ParseIniInteger(std::wstring_view text);
// Decimal integer only (the setting fields): optional sign and digits, spaces around allowed.
std::optional<int32_t> ParseDecimalInteger(std::wstring_view text);
// A decimal number (sign, digits, the separator, exponent), spaces around allowed. With a
// separator other than the full stop, a full stop does not parse.
std::optional<double> ParseDecimal(std::wstring_view text, wchar_t separator);
std::wstring FormatGeneral(double value, wchar_t separator);
// Four decimals ("%.4f").
std::wstring FormatFixed4(double value, wchar_t separator);

// The decimal separator of the user's locale (Windows: the user's regional settings; host: the
// C library's current numeric locale).
wchar_t LocaleDecimalSeparator();

// The running executable's path with its extension replaced by ".ini".
std::wstring ExecutableSettingsPath();
// A path with its extension (if any, after the last separator) replaced by ".ini".
std::wstring WithIniExtension(const std::wstring& path);
