// The port's string waits: the input is read directly while the dispatcher's event delivery is
// held, until a string arrives or a tick timer runs out.
//
// A failed partial match restarts at the longest prefix of the string that ends at the current
// character (a failure function), not only at its first character: with the first-character
// rule, "AAB" in "AAAB" or "ABAC" in "ABABAC" would be missed although it arrived.
#include <optional>
#include <vector>

#include "platform/message_window.h"
#include "serial/dispatch/tick_timer.h"
#include "serial/errors/sio_exception.h"
#include "serial/port/com_port.h"

namespace {

char Fold(char c, bool ignoreCase) { return ignoreCase && c >= 'a' && c <= 'z' ? c - 32 : c; }

// The incremental matcher of one string: Matched is the number of its characters that end the
// input seen so far.
class StringMatcher {
  public:
    StringMatcher(std::string s, bool ignoreCase) : FNeedle(std::move(s)), FIgnoreCase(ignoreCase) {
        for (char& c : FNeedle) c = Fold(c, FIgnoreCase);
        FFail.assign(FNeedle.size(), 0);
        for (size_t i = 1, k = 0; i < FNeedle.size(); ++i) {
            while (k > 0 && FNeedle[i] != FNeedle[k]) k = FFail[k - 1];
            if (FNeedle[i] == FNeedle[k]) ++k;
            FFail[i] = k;
        }
    }
    // Feeds one character; true when the whole string has now arrived.
    bool Feed(char c, size_t& matched) const {
        if (FNeedle.empty()) return false;
        c = Fold(c, FIgnoreCase);
        if (matched >= FNeedle.size()) matched = FFail[FNeedle.size() - 1];
        while (matched > 0 && FNeedle[matched] != c) matched = FFail[matched - 1];
        if (FNeedle[matched] == c) ++matched;
        return matched == FNeedle.size();
    }

  private:
    std::string FNeedle;
    bool FIgnoreCase;
    std::vector<size_t> FFail;
};

}  // namespace

bool TSioCustomComPort::YieldMessages() {
    while (std::optional<platform::Message> m = platform::PumpOneMessage()) {
        if (m->msg == platform::kQuitMessage) return false;
    }
    return true;
}

// The dispatcher counts holds: PrepareWait takes one (once until the next wait) and every wait
// takes its own, and the wait gives back both. Whoever else holds delivery (a notification in
// progress, another caller's hold) keeps it.
void TSioCustomComPort::PrepareWait() {
    if (ShuttingDown() || WaitPrepped) return;
    WaitPrepped = true;
    ValidDispatcher()->SetEventBusy(BusyBeforeWait, true);
}

void TSioCustomComPort::CheckWaitedPort(uint32_t Opening) const {
    if (!IsOpen() || FOpenings != Opening) throw ECommNotOpen(-2007);
}

void TSioCustomComPort::RestoreEventDelivery(uint32_t Opening) {
    // A port that closed meanwhile holds none of that wait's holds any more.
    if (IsOpen() && FOpenings == Opening && FDispatcher) {
        bool ignored = false;
        FDispatcher->SetEventBusy(ignored, false);
        if (WaitPrepped) FDispatcher->SetEventBusy(ignored, false);
    }
    WaitPrepped = false;
    BusyBeforeWait = false;
}

bool TSioCustomComPort::CheckForString(uint8_t& Index, char C, const std::string& S,
                                       bool IgnoreCase) {
    if (ShuttingDown()) return false;
    const std::string s = S.substr(0, 255);
    size_t matched = Index;
    const bool found = StringMatcher(s, IgnoreCase).Feed(C, matched);
    Index = found ? 0 : static_cast<uint8_t>(matched);
    return found;
}

std::optional<char> TSioCustomComPort::TakeWaitedChar() {
    if (!CharReady()) return std::nullopt;
    std::optional<char> c;
    try {
        c = GetChar();
    } catch (const EBufferIsEmpty&) {
    }
    if (c) DoWaitChar(*c);
    return c;
}

bool TSioCustomComPort::WaitForString(const std::string& S, int32_t Timeout, bool Yield,
                                      bool IgnoreCase) {
    if (S.empty() || ShuttingDown()) return true;
    bool wasOn = false;
    ValidDispatcher()->SetEventBusy(wasOn, true);
    // A port that closes while the wait yields ends the wait: reading on would open it again
    // (AutoOpen) and compete with its packets for the bytes.
    const uint32_t opening = FOpenings;
    bool result = true;
    try {
        TickTimer timer;
        StartTickTimer(timer, Timeout);
        const StringMatcher matcher(S.substr(0, 255), IgnoreCase);
        size_t matched = 0;
        bool found = false;
        bool terminating = false;
        while (!found && !terminating) {
            CheckWaitedPort(opening);
            if (std::optional<char> c = TakeWaitedChar()) found = matcher.Feed(*c, matched);
            if (!found) {
                found = TickTimerDone(timer);
                if (Yield && !YieldMessages()) terminating = true;
            }
        }
        result = terminating || !TickTimerDone(timer);
    } catch (...) {
        RestoreEventDelivery(opening);
        throw;
    }
    RestoreEventDelivery(opening);
    return result;
}

int32_t TSioCustomComPort::WaitForMultiString(const std::string& S, int32_t Timeout, bool Yield,
                                              bool IgnoreCase, char SepChar) {
    if (S.empty() || ShuttingDown()) return 0;
    bool wasOn = false;
    ValidDispatcher()->SetEventBusy(wasOn, true);
    const uint32_t opening = FOpenings;
    int32_t result = 0;
    try {
        // At most 127 texts; the 127th runs to the end, separators included. A trailing
        // separator ends the last text rather than starting an empty one.
        std::vector<std::string> pieces(1);
        for (char c : S) {
            if (c == SepChar && pieces.size() < 127)
                pieces.emplace_back();
            else
                pieces.back().push_back(c);
        }
        if (S.back() == SepChar && pieces.size() > 1 && pieces.back().empty()) pieces.pop_back();
        std::vector<StringMatcher> matchers;
        for (const auto& p : pieces) matchers.emplace_back(p, IgnoreCase);
        std::vector<size_t> matched(pieces.size(), 0);

        TickTimer timer;
        StartTickTimer(timer, Timeout);
        bool done = false;
        while (!done) {
            CheckWaitedPort(opening);
            if (std::optional<char> c = TakeWaitedChar()) {
                for (size_t k = 0; k < matchers.size(); ++k) {
                    if (matchers[k].Feed(*c, matched[k])) {
                        result = static_cast<int32_t>(k + 1);
                        done = true;
                        break;
                    }
                }
            }
            if (!done) {
                done = TickTimerDone(timer);
                if (Yield && !YieldMessages()) done = true;
            }
        }
    } catch (...) {
        RestoreEventDelivery(opening);
        throw;
    }
    RestoreEventDelivery(opening);
    return result;
}
