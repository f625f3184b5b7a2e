// The port component on a real (virtual) serial line under Wine: open, send, receive through the
// data-available event, a baud change while open, close; the probe of a mapped and an unmapped
// port; and the "Select Port" dialog on the screen.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "platform/main_thread.h"
#include "platform/message_window.h"
#include "serial/errors/errors.h"
#include "serial/port/com_port.h"
#include "serial/port/port_probe.h"
#include "serial_ui/com_select_form.h"
#include "tests/support/pump_until.h"
#include "tests/support/virtual_line/line_test.h"
#include "tests/support/virtual_line/vline_client.h"
#include "tests/ui/screenshot_win.h"
#include "ui/form.h"

namespace {

using testsupport::PumpUntil;

using PortOnLine = vline::MainThreadOnLine;

TEST_F(PortOnLine, OpenSendReceiveChangeBaudAndClose) {
    TSioComPort port(nullptr);
    port.SetComNumber(com);
    port.SetBaud(9600);
    port.SetStopBits(1);
    port.SetDataBits(8);
    port.SetParity(TParity::pNone);
    port.SetSWFlowOptions(TSWFlowOptions::swfNone);
    std::string received;
    port.SetOnTriggerAvail([&](TSioCustomComPort* cp, uint16_t count) {
        std::string block(count, '\0');
        cp->GetBlock(block.data(), count);
        received += block;
    });
    port.SetOpen(true);
    ASSERT_TRUE(port.Open());
    ASSERT_EQ(port.PortState(), TPortState::psOpen);

    port.PutString(std::wstring(L"READ\r\n"));
    EXPECT_EQ(peer->Receive(6, 5000), "READ\r\n");

    peer->Send("CPU\r\n");
    EXPECT_TRUE(PumpUntil([&] { return received.size() >= 5; }));
    EXPECT_EQ(received, "CPU\r\n");

    port.SetBaud(19200);
    EXPECT_EQ(port.Baud(), 19200);
    port.PutString(std::string("after\r\n"));
    EXPECT_EQ(peer->Receive(7, 5000), "after\r\n");
    received.clear();
    peer->Send("again");
    EXPECT_TRUE(PumpUntil([&] { return received.size() >= 5; }));
    EXPECT_EQ(received, "again");

    port.SetOpen(false);
    PumpUntil([&] { return port.PortState() == TPortState::psClosed; });
    EXPECT_EQ(port.PortState(), TPortState::psClosed);
    EXPECT_FALSE(port.Open());
}

TEST_F(PortOnLine, ProbeFindsTheMappedPortAndNotAnUnmappedOne) {
    CountPortsInUse = false;
    for (bool through : {true, false}) {
        SCOPED_TRACE(through ? "through the dispatcher" : "direct");
        ProbeThroughDispatcher = through;
        EXPECT_TRUE(ProbePort(com));
        EXPECT_FALSE(ProbePort(40));
        EXPECT_FALSE(ProbePort(0));
    }
    ProbeThroughDispatcher = true;
    CountPortsInUse = true;
}

TEST_F(PortOnLine, TheSelectPortDialogOpensThePortChosen) {
    TSioComPort port(nullptr);
    port.SetPortPrompt(AskPortInSelectDialog);
    std::vector<std::wstring> listed;
    bool pictured = false;
    ui::SetModalHandler([&](ui::Form& f) {
        auto& dialog = dynamic_cast<TComSelectForm&>(f);
        HWND wnd = static_cast<HWND>(dialog.NativeHandle());
        ASSERT_NE(wnd, nullptr);
        EXPECT_TRUE(IsWindowVisible(wnd));
        wchar_t caption[64] = {};
        GetWindowTextW(wnd, caption, 64);
        EXPECT_STREQ(caption, L"Select Port");
        listed = dialog.PortsComboBox.Items();
        test_support::PumpMessages(200);
        pictured = test_support::SaveWindowPicture(
            wnd, test_support::ResultsFolder() + L"select-port-dialog.png");
        const std::wstring wanted = L"COM" + std::to_wstring(com);
        for (size_t i = 0; i < listed.size(); ++i)
            if (listed[i] == wanted) dialog.PortsComboBox.SetItemIndex(static_cast<int>(i));
        SendMessageW(static_cast<HWND>(dialog.OkBtn.NativeHandle()), BM_CLICK, 0, 0);
    });
    port.SetOpen(true);
    ui::SetModalHandler(nullptr);
    EXPECT_TRUE(pictured);
    ASSERT_FALSE(listed.empty());
    for (size_t i = 0; i < listed.size(); ++i) {
        ASSERT_EQ(listed[i].rfind(L"COM", 0), 0u);
        if (i > 0) {
            EXPECT_LT(std::stoi(listed[i - 1].substr(3)), std::stoi(listed[i].substr(3)));
        }
    }
    EXPECT_EQ(port.ComNumber(), com);
    EXPECT_TRUE(port.Open());
    port.PutString(std::string("x"));
    EXPECT_EQ(peer->Receive(1, 5000), "x");
}

TEST_F(PortOnLine, CancellingTheDialogFailsTheOpen) {
    TSioComPort port(nullptr);
    port.SetPortPrompt(AskPortInSelectDialog);
    ui::SetModalHandler([](ui::Form& f) {
        auto& dialog = dynamic_cast<TComSelectForm&>(f);
        SendMessageW(static_cast<HWND>(dialog.AbortBtn.NativeHandle()), BM_CLICK, 0, 0);
    });
    EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
    ui::SetModalHandler(nullptr);
    EXPECT_FALSE(port.Open());
}

}  // namespace
