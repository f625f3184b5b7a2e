// The reply lines to the remote party. They are put out from inside the packet's event, which
// the dispatcher thread waits on while it runs: a failure must not raise out of it, where the
// failure display (a message box) would hold up every further command until somebody closed it.
// A reply that does not fit into the port's output waits for the room the line makes as it sends
// (a READ reply leaves in under 100 ms at 9600 baud), at most kReplyRoomWaitMs; one still without
// room then, or one the port refuses, is dropped and reported, and the replies after it keep
// their order. After a reply was dropped for want of room, the next one waits only if the line
// has taken something since: a line that takes nothing would otherwise cost the main window a
// second per command. Main thread only.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

class ComPortService;

// A second: ten READ replies' worth at 9600 baud. An output that gains no room in that time is
// held (a line that nobody reads, flow control holding it back), and waiting longer would only
// keep the main window from answering the person.
constexpr uint32_t kReplyRoomWaitMs = 1000;

class ReplyOutput {
  public:
    using Report = std::function<void(const std::string& why)>;
    // port not owned; it outlives this. report is told why a reply was dropped.
    ReplyOutput(ComPortService& port, Report report);

    void Send(const std::string& line);

  private:
    ComPortService& port_;
    Report report_;
    // The free output when the latest reply was dropped for want of room; -1: it was not.
    int64_t freeWhenDropped_ = -1;
};
