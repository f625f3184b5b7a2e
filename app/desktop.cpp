// The choice of desktop: the system's, or the one a test put in place.
#include "app/desktop.h"

namespace {
Desktop* testDesktop = nullptr;  // main thread only
}

Desktop& DefaultDesktop();  // desktop_win.cpp or desktop_host.cpp

Desktop& SystemDesktop() { return testDesktop ? *testDesktop : DefaultDesktop(); }

void SetDesktopForTest(Desktop* desktop) { testDesktop = desktop; }
