// Reply lines that wait for room in the output instead of raising into the packet's event.
#include "app/reply_output.h"

#include <chrono>
#include <exception>
#include <thread>

#include "app/serial_services.h"

ReplyOutput::ReplyOutput(ComPortService& port, Report report)
    : port_(port), report_(std::move(report)) {}

void ReplyOutput::Send(const std::string& line) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point giveUp = Clock::now() + std::chrono::milliseconds(kReplyRoomWaitMs);
    try {
        // A closed port is left to PutString, which says so.
        while (port_.Open()) {
            const uint32_t room = port_.OutputFree();
            if (room >= line.size()) break;
            if (Clock::now() >= giveUp || room <= freeWhenDropped_) {
                freeWhenDropped_ = room;
                report_("the output stayed full");
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        freeWhenDropped_ = -1;
        port_.PutString(line);
    } catch (const std::exception& e) {
        report_(e.what());
    }
}
