// Folding text with a code page's table (the tables themselves come from the system, or on the
// host from the code pages it describes).
#include "platform/case_folding.h"

namespace platform {

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
