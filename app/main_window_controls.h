// The main window's controls and their layout: what each shows and where it sits.
#pragma once
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/image.h"

// The grid preview's height; the notice takes its foot while one is shown.
constexpr int kGridPreviewHeight = 170;

// In creation order (parents before their children). Captions and texts are the program's own.
struct MainWindowControls {
    // form not owned: the controls and the timer live on it.
    explicit MainWindowControls(ui::Form* form);

    ui::PageControl pages;
    ui::TabSheet mainPage;
    ui::Label portLabel;
    ui::ComboBox portBox;
    ui::Button startStopButton;
    ui::Label firstDeviceLabel;
    ui::Edit firstDeviceEdit;
    ui::CheckBox fxModeBox;
    ui::Edit changedDeviceEdit;
    ui::Edit changedStateEdit;
    ui::Image gridPreview;
    // What the bridge left for the person (a dialog of the application it did not answer,
    // replies it could not send); shown over the preview's foot only while there is something.
    ui::Label noticeLabel;
    ui::Edit toggleTargetEdit;
    ui::Button toggleButton;
    ui::SpeedButton targetRowUpButton;
    ui::SpeedButton targetRowDownButton;
    ui::SpeedButton targetUpButton;
    ui::SpeedButton targetDownButton;
    ui::Edit requestedFirstEdit;
    ui::Button changeFirstButton;
    ui::SpeedButton firstBlockUpButton;
    ui::SpeedButton firstBlockDownButton;
    ui::SpeedButton firstUpButton;
    ui::SpeedButton firstDownButton;
    ui::SpeedButton letterXButton;
    ui::SpeedButton letterYButton;
    ui::TabSheet settingsPage;
    ui::GroupBox captureGroup;
    ui::Label scaleLabel;
    ui::Edit scaleEdit;
    ui::Label captWLabel;
    ui::Edit captWEdit;
    ui::Label captHLabel;
    ui::Edit captHEdit;
    ui::Label captLLabel;
    ui::Edit captLEdit;
    ui::Label pickXLabel;
    ui::Edit pickXEdit;
    ui::Label pickYLabel;
    ui::Edit pickYEdit;
    ui::Button applySettingsButton;
    ui::Button defaultSettingsButton;
    ui::Timer sampleTimer;
};
