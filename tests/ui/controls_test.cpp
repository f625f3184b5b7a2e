// The toolkit's objects on their own: bitmaps, combo boxes, pages, buttons in dialogs, timers and
// the order of a form's events.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/bitmap.h"
#include "ui/form.h"
#include "ui/image.h"

namespace {

TEST(BitmapTest, RowsArePaddedAndPixelsAreBlueGreenRed) {
    ui::Bitmap b(5, 2);
    EXPECT_EQ(b.Stride(), 16);
    b.SetPixel(4, 1, {1, 2, 3});
    const uint8_t* p = b.ScanLine(1) + 12;
    EXPECT_EQ(p[0], 3);
    EXPECT_EQ(p[1], 2);
    EXPECT_EQ(p[2], 1);
    EXPECT_EQ(b.Pixel(4, 1), (ui::Color{1, 2, 3}));
    // Outside: black to read, nothing to write.
    EXPECT_EQ(b.Pixel(5, 0), ui::Color{});
    EXPECT_EQ(b.Pixel(-1, 0), ui::Color{});
    b.SetPixel(-1, 5, {9, 9, 9});
    ui::Bitmap empty(0, 10);
    EXPECT_TRUE(empty.Empty());
    EXPECT_EQ(empty.Height(), 0);
}

TEST(BitmapTest, MarkerEllipseCoversTheSamplePointAndStaysInItsBox) {
    ui::Bitmap b(10, 10);
    b.Fill({255, 255, 255});
    const ui::Color red{255, 0, 0};
    b.FillEllipse(3, 3, 7, 7, red);  // the marker around (5, 5)
    std::string rows;
    for (int y = 2; y < 8; ++y) {
        for (int x = 2; x < 8; ++x) rows += b.Pixel(x, y) == red ? '#' : '.';
        rows += '\n';
    }
    EXPECT_EQ(rows,
              "......\n"
              "..##..\n"
              ".####.\n"
              ".####.\n"
              "..##..\n"
              "......\n");
}

TEST(BitmapTest, EllipseAtTheEdgeIsClipped) {
    ui::Bitmap b(3, 3);
    b.FillEllipse(-2, -2, 2, 2, {255, 0, 0});
    EXPECT_EQ(b.Pixel(0, 0), (ui::Color{255, 0, 0}));
    EXPECT_EQ(b.Pixel(2, 2), ui::Color{});
    b.FillEllipse(-100, -100, 102, 102, {0, 0, 255});  // a box far beyond the bitmap
    EXPECT_EQ(b.Pixel(2, 2), (ui::Color{0, 0, 255}));
}

struct TestForm : ui::Form {
    TestForm()
        : ui::Form({.name = L"TestForm",
                    .caption = L"Test",
                    .clientWidth = 200,
                    .clientHeight = 150,
                    .border = ui::BorderStyle::Dialog}),
          pages(this, {.name = L"pages", .bounds = {0, 0, 200, 100}}),
          first(&pages, {.name = L"first", .text = L"one"}),
          second(&pages, {.name = L"second", .text = L"two"}),
          box(&first, {.name = L"box", .bounds = {10, 10, 100, 21}, .text = L"initial"}),
          edit(&second, {.name = L"edit", .bounds = {10, 10, 100, 21}}),
          ok(this, {.name = L"ok", .bounds = {10, 110, 80, 25}, .text = L"OK"}),
          cancel(this, {.name = L"cancel", .bounds = {100, 110, 80, 25}, .text = L"Cancel"}),
          timer(this, L"timer", 100, false) {
        ok.SetModalResult(ui::mrOk);
        ok.SetDefault(true);
        cancel.SetModalResult(ui::mrAbort);
        cancel.SetCancel(true);
    }
    ~TestForm() override { Destroy(); }
    ui::PageControl pages;
    ui::TabSheet first;
    ui::TabSheet second;
    ui::ComboBox box;
    ui::Edit edit;
    ui::Button ok;
    ui::Button cancel;
    ui::Timer timer;
};

TEST(ComboBoxTest, SelectingAndTyping) {
    TestForm f;
    EXPECT_EQ(f.box.ItemIndex(), -1);
    EXPECT_EQ(f.box.Text(), L"initial");
    f.box.AddItem(L"COM1.");
    f.box.AddItem(L"COM3.");
    f.box.SetItemIndex(1);
    EXPECT_EQ(f.box.Text(), L"COM3.");
    f.box.SetItemIndex(2);  // beyond the list: none
    EXPECT_EQ(f.box.ItemIndex(), -1);
    EXPECT_EQ(f.box.Text(), L"");
    f.box.SelectedByUser(0);
    EXPECT_EQ(f.box.Text(), L"COM1.");
    f.box.TypedByUser(L"COM3.");
    EXPECT_EQ(f.box.ItemIndex(), -1);
    EXPECT_EQ(f.box.Text(), L"COM3.");
}

TEST(PageControlTest, OnePageShownAndHitTestsReachItsControls) {
    TestForm f;
    EXPECT_EQ(f.pages.Pages().size(), 2u);
    EXPECT_EQ(f.pages.ActivePage(), &f.first);
    EXPECT_TRUE(f.first.Visible());
    EXPECT_FALSE(f.second.Visible());
    ui::Rect boxRect = f.box.BoundsInForm();
    EXPECT_EQ(boxRect.left, ui::PageControl::kBorder + 10);
    EXPECT_EQ(boxRect.top, ui::PageControl::kTabHeight + 10);
    EXPECT_EQ(f.ControlAt(boxRect.left + 1, boxRect.top + 1), &f.box);
    f.pages.PageSelectedByUser(1);
    EXPECT_FALSE(f.first.Visible());
    EXPECT_EQ(f.ControlAt(boxRect.left + 1, boxRect.top + 1), &f.edit);
    f.pages.SetActivePageIndex(5);  // no such page: nothing changes
    EXPECT_EQ(f.pages.ActivePageIndex(), 1);
}

TEST(FormTest, CreateAndDestroyRunOnceInOrder) {
    std::vector<std::string> events;
    {
        TestForm f;
        f.SetOnCreate([&](ui::Object*) { events.push_back("create"); });
        f.SetOnDestroy([&](ui::Object*) { events.push_back("destroy"); });
        f.Create();
        f.Create();
        f.Destroy();
        f.Destroy();
    }
    EXPECT_EQ(events, (std::vector<std::string>{"create", "destroy"}));
}

TEST(FormTest, ModalDialogEndsWithTheButtonsResult) {
    TestForm f;
    ui::SetModalHandler([](ui::Form& dialog) { static_cast<TestForm&>(dialog).ok.Click(); });
    EXPECT_EQ(f.ShowModal(), ui::mrOk);
    EXPECT_FALSE(f.InModal());
    ui::SetModalHandler([](ui::Form& dialog) { static_cast<TestForm&>(dialog).cancel.Click(); });
    EXPECT_EQ(f.ShowModal(), ui::mrAbort);
    ui::SetModalHandler([](ui::Form& dialog) { dialog.Close(); });
    EXPECT_EQ(f.ShowModal(), ui::mrCancel);
    ui::SetModalHandler(nullptr);
    EXPECT_EQ(f.ShowModal(), ui::mrCancel);  // nobody answers on the host
    EXPECT_EQ(f.DefaultButton(), &f.ok);
    EXPECT_EQ(f.CancelButton(), &f.cancel);
}

TEST(ButtonTest, DisabledButtonDoesNothingAndModalResultNeedsADialog) {
    TestForm f;
    int clicks = 0;
    f.ok.SetOnClick([&](ui::Object* sender) {
        EXPECT_EQ(sender, &f.ok);
        ++clicks;
    });
    f.ok.Click();  // not modal: the form keeps no result
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(f.ModalResultValue(), ui::mrNone);
    f.ok.SetEnabled(false);
    f.ok.Click();
    EXPECT_EQ(clicks, 1);
}

TEST(TimerTest, FiresOnlyWhileEnabled) {
    TestForm f;
    int ticks = 0;
    f.timer.SetOnTimer([&](ui::Object*) { ++ticks; });
    f.timer.Fire();
    f.timer.SetEnabled(true);
    f.timer.Fire();
    f.timer.Fire();
    f.timer.SetEnabled(false);
    f.timer.Fire();
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(f.Timers(), std::vector<ui::Timer*>{&f.timer});
}

TEST(ImageTest, PictureIsACopy) {
    TestForm f;
    ui::Image image(&f.first, {.name = L"image", .bounds = {0, 0, 225, 170}});
    ui::Bitmap b(3, 3);
    b.SetPixel(1, 1, {0, 0, 255});
    image.SetPicture(b);
    b.SetPixel(1, 1, {255, 255, 255});
    EXPECT_EQ(image.Picture().Pixel(1, 1), (ui::Color{0, 0, 255}));
    image.Canvas().FillEllipse(0, 0, 3, 3, {255, 0, 0});
    EXPECT_EQ(image.Picture().Pixel(1, 1), (ui::Color{255, 0, 0}));
}

}  // namespace
