// Event handlers of the main window whose work belongs to the grid capture, the monitor
// automation and the command protocol (grid_capture_form.cpp).
#include "app/grid_capture_form.h"
#include "app/main_form.h"

void TForm4::Timer1Timer(ui::Object*) { RunTimer1Timer(*this); }

void TForm4::Button1Click(ui::Object*) { RunButton1Click(*this); }

void TForm4::Button4Click(ui::Object*) { RunButton4Click(*this); }

void TForm4::SioDataPacket1StringPacket(DataPacketService*, const std::string& data) {
    RunStringPacket(*this, data);
}
