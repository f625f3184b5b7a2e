// The main window's layout: two pages, the main page 240 × 396 inside the page control.
#include "app/main_window_controls.h"

namespace {
const ui::Font kBigFont{L"Tahoma", 35, true};
}  // namespace

MainWindowControls::MainWindowControls(ui::Form* form)
    : pages(form, {.name = L"pages", .bounds = {0, 0, 248, 424}}),
      // Main page: 240 × 396 inside the page control.
      mainPage(&pages, {.name = L"mainPage", .text = L" メイン"}),
      portLabel(&mainPage, {.name = L"portLabel", .bounds = {8, 11, 30, 13}, .text = L"COM:"}),
      // "ComboBox1" is the box's text until a port is chosen, as it has always shown.
      portBox(&mainPage, {.name = L"portBox", .bounds = {44, 7, 100, 21}, .text = L"ComboBox1"}),
      startStopButton(&mainPage,
                      {.name = L"startStopButton", .bounds = {152, 5, 80, 25}, .text = L"START"}),
      firstDeviceLabel(
          &mainPage, {.name = L"firstDeviceLabel", .bounds = {8, 39, 40, 13}, .text = L"Device:"}),
      firstDeviceEdit(&mainPage, {.name = L"firstDeviceEdit", .bounds = {50, 35, 98, 21}}),
      fxModeBox(&mainPage, {.name = L"fxModeBox",
                            .bounds = {156, 37, 76, 17},
                            .text = L"FXCPU",
                            .enabled = false,
                            .tabStop = false}),
      changedDeviceEdit(&mainPage, {.name = L"changedDeviceEdit",
                                    .bounds = {8, 61, 136, 44},
                                    .font = kBigFont,
                                    .alignment = ui::Alignment::Center}),
      changedStateEdit(&mainPage, {.name = L"changedStateEdit",
                                   .bounds = {148, 61, 84, 44},
                                   .font = kBigFont,
                                   .alignment = ui::Alignment::Center}),
      gridPreview(&mainPage, {.name = L"gridPreview", .bounds = {8, 110, 225, kGridPreviewHeight}}),
      noticeLabel(&mainPage,
                  {.name = L"noticeLabel", .bounds = {8, 266, 225, 14}, .visible = false}),
      toggleTargetEdit(&mainPage, {.name = L"toggleTargetEdit", .bounds = {8, 287, 136, 21}}),
      toggleButton(&mainPage,
                   {.name = L"toggleButton", .bounds = {152, 285, 80, 25}, .text = L"反転"}),
      targetRowUpButton(&mainPage,
                        {.name = L"targetRowUpButton", .bounds = {8, 313, 54, 22}, .text = L"+10"}),
      targetRowDownButton(
          &mainPage, {.name = L"targetRowDownButton", .bounds = {66, 313, 54, 22}, .text = L"-10"}),
      targetUpButton(&mainPage,
                     {.name = L"targetUpButton", .bounds = {124, 313, 54, 22}, .text = L"+1"}),
      targetDownButton(&mainPage,
                       {.name = L"targetDownButton", .bounds = {182, 313, 50, 22}, .text = L"-1"}),
      requestedFirstEdit(&mainPage, {.name = L"requestedFirstEdit", .bounds = {8, 342, 136, 21}}),
      changeFirstButton(
          &mainPage,
          {.name = L"changeFirstButton", .bounds = {152, 340, 80, 25}, .text = L"先頭変更"}),
      firstBlockUpButton(
          &mainPage, {.name = L"firstBlockUpButton", .bounds = {8, 368, 37, 22}, .text = L"+100"}),
      firstBlockDownButton(
          &mainPage,
          {.name = L"firstBlockDownButton", .bounds = {47, 368, 37, 22}, .text = L"-100"}),
      firstUpButton(&mainPage,
                    {.name = L"firstUpButton", .bounds = {86, 368, 37, 22}, .text = L"+80"}),
      firstDownButton(&mainPage,
                      {.name = L"firstDownButton", .bounds = {125, 368, 37, 22}, .text = L"-80"}),
      letterXButton(&mainPage,
                    {.name = L"letterXButton", .bounds = {164, 368, 33, 22}, .text = L"X"}),
      letterYButton(&mainPage,
                    {.name = L"letterYButton", .bounds = {199, 368, 33, 22}, .text = L"Y"}),
      // Settings page.
      settingsPage(&pages, {.name = L"settingsPage", .text = L" 設定"}),
      captureGroup(&settingsPage, {.name = L"captureGroup", .bounds = {8, 6, 224, 134}}),
      scaleLabel(&captureGroup,
                 {.name = L"scaleLabel", .bounds = {10, 18, 80, 13}, .text = L"全体の尺度："}),
      scaleEdit(
          &captureGroup,
          {.name = L"scaleEdit", .bounds = {94, 14, 64, 21}, .alignment = ui::Alignment::Right}),
      captWLabel(&captureGroup,
                 {.name = L"captWLabel", .bounds = {10, 48, 40, 13}, .text = L"CaptW:"}),
      captWEdit(
          &captureGroup,
          {.name = L"captWEdit", .bounds = {52, 44, 50, 21}, .alignment = ui::Alignment::Right}),
      captHLabel(&captureGroup,
                 {.name = L"captHLabel", .bounds = {114, 48, 40, 13}, .text = L"CaptH:"}),
      captHEdit(
          &captureGroup,
          {.name = L"captHEdit", .bounds = {156, 44, 50, 21}, .alignment = ui::Alignment::Right}),
      captLLabel(&captureGroup,
                 {.name = L"captLLabel", .bounds = {10, 78, 40, 13}, .text = L"CaptL:"}),
      captLEdit(
          &captureGroup,
          {.name = L"captLEdit", .bounds = {52, 74, 50, 21}, .alignment = ui::Alignment::Right}),
      pickXLabel(&captureGroup,
                 {.name = L"pickXLabel", .bounds = {10, 108, 40, 13}, .text = L"PickX:"}),
      pickXEdit(
          &captureGroup,
          {.name = L"pickXEdit", .bounds = {52, 104, 50, 21}, .alignment = ui::Alignment::Right}),
      pickYLabel(&captureGroup,
                 {.name = L"pickYLabel", .bounds = {114, 108, 40, 13}, .text = L"PickY:"}),
      pickYEdit(
          &captureGroup,
          {.name = L"pickYEdit", .bounds = {156, 104, 50, 21}, .alignment = ui::Alignment::Right}),
      applySettingsButton(
          &settingsPage,
          {.name = L"applySettingsButton", .bounds = {8, 150, 96, 25}, .text = L"更新"}),
      defaultSettingsButton(&settingsPage, {.name = L"defaultSettingsButton",
                                            .bounds = {112, 150, 120, 25},
                                            .text = L"規定値に戻す"}),
      sampleTimer(form, L"sampleTimer", 250, false) {}
