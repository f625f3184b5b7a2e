// Replies that do not fit into the port's output, on the real port and packet over the in-memory
// device layer, whose output nobody takes: the reply is reported in the main window, no box opens
// inside the packet's event (the dispatcher thread waits for that event, so no further command
// would reach the bridge while the box stayed open), and the next command is answered.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "app/fake_desktop.h"
#include "app/main_window.h"
#include "app/serial_services_sio.h"
#include "platform/exception_display.h"
#include "platform/main_thread.h"
#include "serial/device/memory_device.h"
#include "serial/port/com_port.h"
#include "tests/app/test_files.h"
#include "tests/support/pump_until.h"
#include "ui/message_box.h"

namespace {

using namespace std::chrono_literals;
using testsupport::PumpUntil;

constexpr size_t kReadReplySize = 90;

// The test's thread is the main thread from before the serial services exist until after they
// are gone: the process-wide message-window registry then outlives the packet managers, which
// the process keeps to its end.
struct MainThreadRole {
    MainThreadRole() { platform::BindMainThread(); }
    ~MainThreadRole() { platform::UnbindMainThread(); }
};

struct ReplyFixture : ::testing::Test {
    MainThreadRole mainThread;
    TestFolder folder;
    FakeDesktop desktop;  // no monitor: READ answers from the zeros of no sampling
    SioSerialServices sio;
    TSioMemoryDispatcher* line = nullptr;  // owned by the port while it is open
    std::unique_ptr<MainWindow> form;
    std::vector<std::string> boxes;
    // Whether a CPU sent while a box was open was answered before it closed.
    std::vector<bool> answeredWhileOpen;

    ReplyFixture() {
        ui::SetScreenSizeForTest(1920, 1080);
        SetDesktopForTest(&desktop);
        // A box as the person sees it: it stays open for a while, and its message loop handles
        // what is sent to the main thread meanwhile.
        auto box = [this](const std::string& text) {
            boxes.push_back(text);
            const uint16_t used = sio.Port().OutBuffUsed();
            line->Receive("CPU\r\n");
            answeredWhileOpen.push_back(
                PumpUntil([&] { return sio.Port().OutBuffUsed() == used + 4; }, 3s));
        };
        platform::SetExceptionDisplay(box);
        ui::SetMessageDisplay([box](const std::wstring& text) {
            box(std::string(text.begin(), text.end()));
        });
        sio.Port().SetCustomDispatcher([this](TComponent* owner) {
            auto device = std::make_unique<TSioMemoryDispatcher>(owner);
            line = device.get();
            return std::unique_ptr<TSioBaseDispatcher>(std::move(device));
        });
        form = std::make_unique<MainWindow>(sio.services, folder.File("pelkan.ini").wstring());
        form->Create();
        form->ControlsForTest().portBox.TypedByUser(L"COM7.");
        form->StartStop();
    }
    ~ReplyFixture() override {
        if (form->ControlsForTest().startStopButton.Caption() == L"STOP") form->StartStop();
        form->Destroy();
        form.reset();
        SetDesktopForTest(nullptr);
        ui::SetMessageDisplay(nullptr);
        platform::SetExceptionDisplay(nullptr);
    }
    std::wstring Notice() { return form->ControlsForTest().noticeLabel.Caption(); }
};

// 46 READs in one burst: 45 replies fill the 4096-byte output to 4050 bytes, the 46th does not
// fit and nobody takes any. A CPU sent then is answered into the 46 bytes left.
TEST_F(ReplyFixture, AReplyThatDoesNotFitIsReportedInTheWindowAndTheNextCommandIsAnswered) {
    ASSERT_TRUE(sio.services.port->Open());
    std::string burst;
    for (int i = 0; i < 46; ++i) burst += "READ\r\n";
    line->Receive(burst);
    ASSERT_TRUE(PumpUntil([&] { return !Notice().empty() || !boxes.empty(); }, 20s));
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_TRUE(form->ControlsForTest().noticeLabel.Visible());
    EXPECT_NE(Notice().find(L"not sent"), std::wstring::npos);
    EXPECT_EQ(sio.Port().OutBuffUsed(), 45 * kReadReplySize);

    // Two more READs while the line still takes nothing: counted with the first.
    line->Receive("READ\r\nREAD\r\n");
    EXPECT_TRUE(PumpUntil([&] { return Notice().find(L"not sent: 3") != std::wstring::npos; }, 10s))
        << std::string(Notice().begin(), Notice().end());
    line->Receive("CPU\r\n");
    EXPECT_TRUE(PumpUntil([&] { return sio.Port().OutBuffUsed() == 45 * kReadReplySize + 4; }, 5s));
    const std::string sent = line->Transmit();
    ASSERT_EQ(sent.size(), 45 * kReadReplySize + 4);
    EXPECT_EQ(sent.substr(0, 10), "QR      00");
    EXPECT_EQ(sent.substr(45 * kReadReplySize), "QL\r\n");
    EXPECT_TRUE(answeredWhileOpen.empty());
}

// A reply that does not fit waits for the room the line makes as it takes what filled the output.
TEST_F(ReplyFixture, AReplyWaitsForRoomThatTheLineMakes) {
    ASSERT_TRUE(sio.services.port->Open());
    std::string burst;
    for (int i = 0; i < 45; ++i) burst += "READ\r\n";
    line->Receive(burst);
    ASSERT_TRUE(PumpUntil([&] { return sio.Port().OutBuffUsed() == 45 * kReadReplySize; }, 20s));

    // The far end takes the output a moment after the 46th READ arrives.
    std::atomic<bool> taken{false};
    std::string first;
    line->Receive("READ\r\n");
    std::thread farEnd([&] {
        std::this_thread::sleep_for(300ms);
        first = line->Transmit();
        taken = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return taken && sio.Port().OutBuffUsed() == kReadReplySize; }, 10s));
    farEnd.join();
    EXPECT_EQ(first.size(), 45 * kReadReplySize);
    EXPECT_EQ(line->Transmit().size(), kReadReplySize);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(Notice(), L"");
}

}  // namespace
