// Behaviour of the control objects: clicks, selections, pages and timers.
#include "ui/controls.h"

#include <algorithm>

#include "ui/form.h"

namespace ui {
namespace {
Form* FormOf(Control* control) {
    while (control && control->Kind() != ControlKind::Form) control = control->Parent();
    return static_cast<Form*>(control);
}
}  // namespace

void Edit::ChangedByUser(const std::wstring& text) {
    if (text == Text()) return;
    SetTextFromWindow(text);
    if (onChange_) onChange_(this);
}

void Button::Click() {
    if (!Enabled()) return;
    if (onClick_) onClick_(this);
    if (modalResult_ != mrNone) {
        if (Form* form = FormOf(this); form && form->InModal()) form->SetModalResult(modalResult_);
    }
}

void CheckBox::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    Changed(Property::Checked);
}

void CheckBox::Click() {
    if (onClick_) onClick_(this);
}

void CheckBox::ClickedByUser() {
    if (!Enabled()) return;
    SetChecked(!checked_);
    Click();
}

void ComboBox::AddItem(const std::wstring& item) {
    items_.push_back(item);
    Changed(Property::Items);
}

void ComboBox::ClearItems() {
    items_.clear();
    itemIndex_ = -1;
    Changed(Property::Items);
}

void ComboBox::SetItemIndex(int index) {
    if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
    itemIndex_ = index;
    // Selecting none empties the text, as the Windows combo box does.
    SetTextFromWindow(index >= 0 ? items_[static_cast<size_t>(index)] : std::wstring());
    Changed(Property::ItemIndex);
}

void ComboBox::SelectedByUser(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size())) return;
    itemIndex_ = index;
    SetTextFromWindow(items_[static_cast<size_t>(index)]);
    if (onChange_) onChange_(this);
}

void ComboBox::TypedByUser(const std::wstring& text) {
    SetTextFromWindow(text);
    // Typing leaves no item selected, even when the text happens to equal one.
    itemIndex_ = -1;
    if (onChange_) onChange_(this);
}

std::vector<TabSheet*> PageControl::Pages() const {
    std::vector<TabSheet*> pages;
    for (Control* child : Children()) {
        if (child->Kind() == ControlKind::TabSheet) pages.push_back(static_cast<TabSheet*>(child));
    }
    return pages;
}

void PageControl::SetActivePageIndex(int index) {
    std::vector<TabSheet*> pages = Pages();
    if (index < 0 || index >= static_cast<int>(pages.size())) return;
    activePage_ = index;
    for (size_t i = 0; i < pages.size(); ++i) pages[i]->SetVisible(static_cast<int>(i) == index);
    Changed(Property::ActivePage);
}

TabSheet* PageControl::ActivePage() const {
    std::vector<TabSheet*> pages = Pages();
    if (activePage_ < 0 || activePage_ >= static_cast<int>(pages.size())) return nullptr;
    return pages[static_cast<size_t>(activePage_)];
}

void PageControl::PageSelectedByUser(int index) { SetActivePageIndex(index); }

Rect PageControl::ChildArea() const {
    return {kBorder, kTabHeight, std::max(0, Width() - 2 * kBorder),
            std::max(0, Height() - kTabHeight - kBorder)};
}

namespace {
ControlArgs PageArgs(PageControl* owner, ControlArgs args) {
    args.bounds = {0, 0, std::max(0, owner->Width() - 2 * PageControl::kBorder),
                   std::max(0, owner->Height() - PageControl::kTabHeight - PageControl::kBorder)};
    // Only the first page is shown until another is chosen.
    args.visible = owner->Pages().empty();
    return args;
}
}  // namespace

TabSheet::TabSheet(PageControl* parent, ControlArgs args)
    : Control(parent, ControlKind::TabSheet, PageArgs(parent, std::move(args))), owner_(parent) {}

int TabSheet::PageIndex() const {
    std::vector<TabSheet*> pages = owner_->Pages();
    auto it = std::find(pages.begin(), pages.end(), this);
    return it == pages.end() ? -1 : static_cast<int>(it - pages.begin());
}

Timer::Timer(Form* form, std::wstring name, uint32_t intervalMs, bool enabled)
    : form_(form), name_(std::move(name)), interval_(intervalMs), enabled_(enabled) {
    if (form_) form_->AddTimer(this);
}

Timer::~Timer() {
    if (form_) form_->RemoveTimer(this);
}

void Timer::SetInterval(uint32_t ms) {
    if (ms == interval_) return;
    interval_ = ms;
    if (peer_) peer_->TimerChanged(*this);
}

void Timer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (peer_) peer_->TimerChanged(*this);
}

void Timer::Fire() {
    if (enabled_ && onTimer_) onTimer_(this);
}

}  // namespace ui
