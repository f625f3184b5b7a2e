// Folding text with a code page's table (the tables themselves come from the system, or on the
// host from the code pages it describes).
#include "platform/case_folding.h"

namespace platform {

CaseFolding CaseFolding::AsciiOnly() {
    CaseFolding f;
    for (int b = 0; b < 256; ++b)
        f.Upper[static_cast<size_t>(b)] = static_cast<uint8_t>(b >= 'a' && b <= 'z' ? b - 32 : b);
    return f;
}

void CaseFolding::FoldText(uint8_t* Text, size_t Len) const {
    for (size_t i = 0; i < Len; ++i) {
        if (Lead[Text[i]]) {
            ++i;  // the trail byte stays as it is
            continue;
        }
        Text[i] = Upper[Text[i]];
    }
}

}  // namespace platform
