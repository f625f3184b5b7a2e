// The "Select Port" dialog as a port's prompt: it lists the ports that answer (on the host, those
// the termios device layer's port table says exist), OK opens the one selected, Cancel and OK on an
// empty list open none.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "serial/errors/errors.h"
#include "serial/device/posix_ports.h"
#include "serial_ui/com_select_form.h"
#include "tests/serial/port/port_fixture.h"
#include "ui/form.h"

namespace {

class SelectPortDialog : public PortTest {
  protected:
    void SetUp() override {
        PortTest::SetUp();
        port->SetComNumber(0);
        port->SetPortPrompt(AskPortInSelectDialog);
        for (uint16_t n = 1; n <= 50; ++n) Present(n);
    }
    void TearDown() override {
        ui::SetModalHandler(nullptr);
        for (uint16_t n = 1; n <= 50; ++n) {
            TSioMemoryDispatcher::SetPortMissing(Name(n), false);
            posix_ports::ClearEntry(n);
        }
        PortTest::TearDown();
    }
    // The ports listed come from the system's device layer; the in-memory one answers for the
    // port opened here.
    static void Missing(uint16_t from, uint16_t to) {
        for (uint16_t n = from; n <= to; ++n) {
            TSioMemoryDispatcher::SetPortMissing(Name(n), true);
            posix_ports::SetDevicePath(n, "/dev/pelkan-no-such-device");
        }
    }
    static void Present(uint16_t n) {
        TSioMemoryDispatcher::SetPortMissing(Name(n), false);
        posix_ports::SetPseudoTerminal(n, "");
    }
};

TEST_F(SelectPortDialog, ListsThePortsThatAnswerAndOkOpensTheOneSelected) {
    Missing(1, 12);
    std::vector<std::wstring> listed;
    ui::SetModalHandler([&](ui::Form& f) {
        auto& dialog = dynamic_cast<TComSelectForm&>(f);
        EXPECT_EQ(dialog.Caption(), L"Select Port");
        listed = dialog.PortsComboBox.Items();
        dialog.OkBtn.Click();
    });
    port->SetOpen(true);
    EXPECT_EQ(port->ComNumber(), 13);
    EXPECT_TRUE(port->Open());
    ASSERT_EQ(listed.size(), 38u);
    EXPECT_EQ(listed.front(), L"COM13");
    EXPECT_EQ(listed.back(), L"COM50");
}

TEST_F(SelectPortDialog, CancelFailsTheOpen) {
    ui::SetModalHandler([](ui::Form& f) { dynamic_cast<TComSelectForm&>(f).AbortBtn.Click(); });
    EXPECT_THROW(port->SetOpen(true), ENoPortSelected);
    EXPECT_FALSE(port->Open());
    EXPECT_EQ(port->ComNumber(), 0);
    EXPECT_EQ(created, 0);
}

TEST_F(SelectPortDialog, OkOnAnEmptyListFailsTheOpen) {
    Missing(1, 50);
    size_t listed = 99;
    ui::SetModalHandler([&](ui::Form& f) {
        auto& dialog = dynamic_cast<TComSelectForm&>(f);
        listed = dialog.PortsComboBox.Items().size();
        dialog.OkBtn.Click();
    });
    EXPECT_THROW(port->SetOpen(true), std::out_of_range);
    EXPECT_EQ(listed, 0u);
    EXPECT_FALSE(port->Open());
    EXPECT_EQ(port->ComNumber(), 0);
    EXPECT_EQ(created, 0);
}

}  // namespace
