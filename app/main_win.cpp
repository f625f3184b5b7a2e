// pelkan.exe: creates the main window over the serial services and runs the message loop.
#include <windows.h>

#include <exception>

#include "app/main_window.h"
#include "app/serial_services_sio.h"
#include "platform/exception_display.h"
#include "ui/form.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    try {
        SioSerialServices serial;
        MainWindow form(serial.services, ExecutableSettingsPath());
        form.Create();
        int exitCode = ui::Run(form);
        form.Destroy();
        return exitCode;
    } catch (const std::exception& e) {
        platform::ShowException(e);
        return 1;
    }
}
