// The "Select Port" dialog as a port's prompt, over the in-memory device layer: it lists the
// ports that answer, OK opens the one selected, Cancel and OK on an empty list open none.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "serial/errors/errors.h"
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
    }
    void TearDown() override {
        ui::SetModalHandler(nullptr);
        for (uint16_t n = 1; n <= 50; ++n) TSioMemoryDispatcher::SetPortMissing(Name(n), false);
        PortTest::TearDown();
    }
    static void Missing(uint16_t from, uint16_t to) {
        for (uint16_t n = from; n <= to; ++n) TSioMemoryDispatcher::SetPortMissing(Name(n), true);
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
