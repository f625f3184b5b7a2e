// TComSelectForm: the "Select Port" dialog, which lists the available ports 1 to 50 and returns
// the one the user chose, and the port prompt built on it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "ui/form.h"

class TComSelectForm : public ui::Form {
  public:
    TComSelectForm();
    ~TComSelectForm() override;

    ui::Bevel Bevel1;
    ui::Label Label1;
    ui::Label Label2;
    ui::Button OkBtn;
    ui::Button AbortBtn;
    ui::ComboBox PortsComboBox;

    // Fills the list with "COM%d" for every port from 1 to 50 that ProbePort finds, and selects
    // the first.
    void FormCreate(ui::Object* Sender);
    // The selected entry's text; throws std::out_of_range when nothing is selected.
    std::wstring SelectedCom() const;
    // The selected entry's port number ("COM12" gives 12).
    uint16_t SelectedComNum() const;
};

// A port's prompt (TSioCustomComPort::SetPortPrompt) through this dialog: the port chosen with
// OK, none when the dialog is closed otherwise. OK on an empty list throws std::out_of_range, as
// SelectedCom does.
std::optional<uint16_t> AskPortInSelectDialog();
