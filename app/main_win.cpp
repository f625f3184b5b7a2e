// pelkan.exe: creates the main window over the serial services and runs the message loop.
#include <windows.h>

#include <exception>

#include "app/main_form.h"
#include "app/serial_services_double.h"
#include "platform/exception_display.h"
#include "ui/form.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    try {
        // The serial layer is not wired in yet: the in-memory services stand in, with no ports,
        // so every "START" ends in "ComPort Open Error" while the timer still runs.
        SerialServicesDouble serial;
        TForm4 form(serial.services, ExecutableSettingsPath());
        form.Create();
        int exitCode = ui::Run(form);
        form.Destroy();
        return exitCode;
    } catch (const std::exception& e) {
        platform::ShowException(e);
        return 1;
    }
}
