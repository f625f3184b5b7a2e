// The main window's timer tick, "先頭変更", "反転" and command handler, run on TForm4's controls
// and data over the system's desktop.
#pragma once
#include <string>

#include "app/monitor_automation.h"

class TForm4;

void RunTimer1Timer(TForm4& form);
void RunButton1Click(TForm4& form);
void RunButton4Click(TForm4& form);
void RunStringPacket(TForm4& form, const std::string& data);

// The rejection box titles from the settings file ("Monitor"/"RejectTitle1" and "RejectTitle2"),
// with the defaults where a key is missing or empty.
RejectionTitles ReadRejectionTitles(const std::wstring& settingsPath);
inline const RejectionTitles kDefaultRejectionTitles{L"Korvex Works", L"Korvex Works Monitor"};
