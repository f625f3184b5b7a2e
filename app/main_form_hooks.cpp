// Event handlers of the main window whose work belongs to the grid capture, the monitor
// automation and the command protocol (grid_capture_form.cpp).
#include "app/grid_capture_form.h"
#include "app/main_form.h"

void MainWindow::SampleMonitor() { RunTimer1Timer(*this); }

void MainWindow::ChangeFirstDevice() { RunButton1Click(*this); }

void MainWindow::ToggleDevice() { RunButton4Click(*this); }

void MainWindow::OnCommandLine(const std::string& data) { RunStringPacket(*this, data); }
