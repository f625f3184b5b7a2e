// The host's desktop: an empty fake desktop, so the program's logic runs without a screen and
// finds no other program's windows.
#include "app/fake_desktop.h"

Desktop& DefaultDesktop() {
    static FakeDesktop desktop;
    return desktop;
}
