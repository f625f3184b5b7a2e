// The "Select Port" dialog: its layout and its list of available ports.
#include "serial_ui/com_select_form.h"

#include <stdexcept>

#include "serial/port/port_probe.h"

namespace {
const ui::Font kDialogFont{L"MS Sans Serif", 11};
}

// Tab order follows creation order: OK, Cancel, then the list.
TComSelectForm::TComSelectForm()
    : ui::Form({.name = L"ComSelectForm",
                .caption = L"Select Port",
                .clientWidth = 220,
                .clientHeight = 131,
                .font = kDialogFont,
                .border = ui::BorderStyle::Dialog,
                .minimizeBox = false,
                .maximizeBox = false,
                .position = ui::FormPosition::ScreenCenter}),
      Bevel1(this, {.name = L"Bevel1", .bounds = {8, 8, 201, 42}, .tabStop = false}),
      Label1(this, {.name = L"Label1",
                    .bounds = {18, 14, 176, 13},
                    .text = L"The configured serial port is not valid.",
                    .tabStop = false}),
      Label2(this, {.name = L"Label2",
                    .bounds = {18, 30, 133, 13},
                    .text = L"Please choose another port.",
                    .tabStop = false}),
      OkBtn(this, {.name = L"OkBtn", .bounds = {8, 95, 85, 27}, .text = L"OK"}),
      AbortBtn(this, {.name = L"AbortBtn", .bounds = {124, 95, 85, 27}, .text = L"Cancel"}),
      PortsComboBox(this, {.name = L"PortsComboBox", .bounds = {8, 64, 201, 21}},
                    ui::ComboBox::Style::DropDownList) {
    OkBtn.SetDefault(true);
    OkBtn.SetModalResult(ui::mrOk);
    AbortBtn.SetModalResult(ui::mrAbort);
    SetOnCreate([this](ui::Object* sender) { FormCreate(sender); });
}

TComSelectForm::~TComSelectForm() { Destroy(); }

void TComSelectForm::FormCreate(ui::Object* /*Sender*/) {
    PortsComboBox.ClearItems();
    for (int32_t n = 1; n <= 50; ++n)
        if (ProbePort(n)) PortsComboBox.AddItem(L"COM" + std::to_wstring(n));
    if (!PortsComboBox.Items().empty()) PortsComboBox.SetItemIndex(0);
}

std::wstring TComSelectForm::SelectedCom() const {
    const int index = PortsComboBox.ItemIndex();
    if (index < 0 || static_cast<size_t>(index) >= PortsComboBox.Items().size())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    return PortsComboBox.Items()[static_cast<size_t>(index)];
}

uint16_t TComSelectForm::SelectedComNum() const {
    const std::wstring text = SelectedCom();
    return static_cast<uint16_t>(std::stoi(text.substr(3, 255)));
}

std::optional<uint16_t> AskPortInSelectDialog() {
    TComSelectForm form;
    if (form.ShowModal() != ui::mrOk) return std::nullopt;
    return form.SelectedComNum();
}
