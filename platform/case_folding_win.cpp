// Folding tables from the system's own code page mapping: each byte goes to UTF-16, is upper-cased
// there and comes back only when the upper case is again one byte of the same code page.
#include <windows.h>

#include "platform/case_folding.h"

namespace platform {

CaseFolding CaseFolding::ForCodePage(uint32_t CodePage) {
    CaseFolding f = AsciiOnly();
    CPINFO info{};
    const bool known = IsValidCodePage(CodePage) && GetCPInfo(CodePage, &info);
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<uint8_t>(b);
        if (!known || b < 0x80) continue;
        if (IsDBCSLeadByteEx(CodePage, byte)) {
            f.Lead[byte] = true;
            continue;
        }
        const char in = static_cast<char>(byte);
        wchar_t wide = 0;
        if (MultiByteToWideChar(CodePage, MB_ERR_INVALID_CHARS, &in, 1, &wide, 1) != 1) continue;
        wchar_t upper = 0;
        if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &wide, 1, &upper, 1) != 1) continue;
        if (upper == wide) continue;
        char out[2] = {};
        BOOL defaulted = FALSE;
        if (WideCharToMultiByte(CodePage, WC_NO_BEST_FIT_CHARS, &upper, 1, out, 2, nullptr,
                                &defaulted) == 1 &&
            !defaulted)
            f.Upper[byte] = static_cast<uint8_t>(out[0]);
    }
    return f;
}

const CaseFolding& SystemCaseFolding() {
    static const CaseFolding folding = CaseFolding::ForCodePage(GetACP());
    return folding;
}

}  // namespace platform
