// The main window's timer tick, "先頭変更", "反転" and command handler, run on MainWindow's
// controls and data over the system's desktop.
#pragma once
#include <string>

#include "app/monitor_automation.h"

class MainWindow;

void RunTimer1Timer(MainWindow& form);
void RunButton1Click(MainWindow& form);
void RunButton4Click(MainWindow& form);
void RunStringPacket(MainWindow& form, const std::string& data);

// The rejection box titles from the settings file ("Monitor"/"RejectTitle1" and "RejectTitle2"),
// with the defaults where a key is missing or empty.
RejectionTitles ReadRejectionTitles(const std::wstring& settingsPath);
inline const RejectionTitles kDefaultRejectionTitles{L"Korvex Works", L"Korvex Works Monitor"};
