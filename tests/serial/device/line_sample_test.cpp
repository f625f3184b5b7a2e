// The line events a device layer reports from a look at the line: which change of a modem line
// or which line error gives which event, and that nothing gives none.
#include <gtest/gtest.h>

#include "serial/device/line_sample.h"

namespace {

using namespace line_sample;

struct Case {
    const char* what;
    uint32_t linesBefore, linesNow, errors;
    uint32_t events;
};

TEST(LineSample, EachChangeOrErrorGivesItsEvent) {
    const Case cases[] = {
        {"nothing changed, lines up", kLineCts | kLineDsr, kLineCts | kLineDsr, 0, 0},
        {"CTS rises", 0, kLineCts, 0, kEvCts},
        {"CTS falls", kLineCts, 0, 0, kEvCts},
        {"DSR rises", 0, kLineDsr, 0, kEvDsr},
        {"carrier drops", kLineRlsd | kLineCts, kLineCts, 0, kEvRlsd},
        {"ring", 0, kLineRing, 0, kEvRing},
        {"every line at once", 0, kLineCts | kLineDsr | kLineRing | kLineRlsd, 0,
         kEvCts | kEvDsr | kEvRing | kEvRlsd},
        {"a break alone", 0, 0, kCeBreak, kEvBreak},
        {"framing error", 0, 0, kCeFrame, kEvErr},
        {"parity error", 0, 0, kCeParity, kEvErr},
        {"overrun", 0, 0, kCeOverrun, kEvErr},
        {"input buffer overflow", 0, 0, kCeRxOver, kEvErr},
        {"a break with a framing error", 0, 0, kCeBreak | kCeFrame, kEvBreak | kEvErr},
        {"a line change and an error together", kLineDsr, 0, kCeParity, kEvDsr | kEvErr},
        {"bits the lines read never has", 0x0F, 0x00, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EventsOf(c.linesBefore, c.linesNow, c.errors), c.events) << c.what;
}

}  // namespace
