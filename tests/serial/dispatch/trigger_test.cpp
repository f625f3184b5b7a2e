// Triggers: the data-available rule, data triggers, handles, timer and status triggers, saving
// and restoring them.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "tests/serial/dispatch/dispatch_fixture.h"

namespace {

using Triggers = OpenPort;

uint16_t DataWord(const Notice& n) { return static_cast<uint16_t>(n.lParam & 0xFFFF); }

TEST_F(Triggers, OneDataAvailableNotificationPerNewHead) {
    d->ChangeLengthTrigger(1);
    Recorder r(d.get());
    d->RegisterEventTriggerHandler(r.Event());
    ReceiveAndPass("abc");
    ASSERT_EQ(1u, r.Notices.size());
    EXPECT_EQ(TriggerAvailMsg, r.Notices[0].Msg);
    EXPECT_EQ(3u, r.Notices[0].wParam);
    EXPECT_EQ(d->Handle(), r.Notices[0].lParam >> 16);

    Pass();
    EXPECT_EQ(1u, r.Notices.size()) << "no new bytes, no notification";
    ReceiveAndPass("d");
    ASSERT_EQ(2u, r.Notices.size());
    EXPECT_EQ(4u, r.Notices[1].wParam) << "the unread bytes, old and new";

    r.Reading = TakeOffered;
    ReceiveAndPass("e");
    ASSERT_EQ(3u, r.Notices.size());
    EXPECT_EQ("abcde", r.Notices[2].Read);
    EXPECT_EQ(0, d->InBuffUsed());
    Pass();
    EXPECT_EQ(3u, r.Notices.size());
}

// A burst that fills the ring exactly brings the head round to where the last notification
// left it: the port must not go deaf then.
TEST_F(Triggers, ABurstThatFillsTheRingExactlyIsStillOffered) {
    d->ChangeLengthTrigger(1);
    Recorder r(d.get());
    d->RegisterEventTriggerHandler(r.Event());
    r.Reading = TakeOffered;

    ReceiveAndPass(std::string(8192, 'x'));
    ASSERT_EQ(1u, r.Notices.size()) << "a whole ring of new bytes is offered";
    EXPECT_EQ(8192u, r.Notices[0].wParam);
    EXPECT_TRUE(r.Notices[0].Read == std::string(8192, 'x'));
    ReceiveAndPass("READ\r\n");
    ASSERT_EQ(2u, r.Notices.size());
    EXPECT_EQ("READ\r\n", r.Notices[1].Read);
}

// The same for the data triggers: a whole ring of bytes that no scan has seen yet puts the head
// on the scan's position, and those bytes must still be scanned.
TEST_F(Triggers, ABurstThatFillsTheRingExactlyIsScannedForDataTriggers) {
    d->ChangeLengthTrigger(0);
    uint32_t ok = static_cast<uint32_t>(d->AddDataTrigger("OK", false));
    Recorder r(d.get());
    d->RegisterEventTriggerHandler(r.Event());
    std::string burst(8192, 'x');
    burst.replace(8000, 2, "OK");
    ReceiveAndPass(burst);
    ASSERT_EQ(1u, r.Notices.size()) << "the trigger inside the full ring is found";
    EXPECT_EQ(TriggerDataMsg, r.Notices[0].Msg);
    EXPECT_EQ(ok, r.Notices[0].wParam);
    EXPECT_EQ(0u, d->LastTailData) << "the rest of the ring was scanned up to the head";
    Pass();
    EXPECT_EQ(1u, r.Notices.size()) << "found once: a scanned full ring is not scanned again";
}

// A full ring scanned without a match is not scanned again: its last byte followed by its first
// would make a match the line never carried.
TEST_F(Triggers, AFullRingIsScannedOnce) {
    d->ChangeLengthTrigger(0);
    EXPECT_GE(d->AddDataTrigger("OK", false), 0);
    Recorder r(d.get());
    d->RegisterEventTriggerHandler(r.Event());
    ReceiveAndPass("K" + std::string(8190, 'x') + "O");
    Pass();
    Pass();
    EXPECT_TRUE(r.Notices.empty());
}

TEST_F(Triggers, LengthTriggerCountsUnreadBytes) {
    d->ChangeLengthTrigger(4);
    Recorder r(d.get());
    d->RegisterEventTriggerHandler(r.Event());
    ReceiveAndPass("abc");
    EXPECT_TRUE(r.Notices.empty());
    ReceiveAndPass("d");
    ASSERT_EQ(1u, r.Notices.size());
    EXPECT_EQ(4u, r.Notices[0].wParam);
}

TEST_F(Triggers, LengthTriggerZeroSendsNoDataAvailable) {
    d->ChangeLengthTrigger(0);
    Recorder r(d.get());
    d->RegisterEventTriggerHandler(r.Event());
    ReceiveAndPass("abc");
    ReceiveAndPass("def");
    EXPECT_TRUE(r.Notices.empty());
    d->ChangeLengthTrigger(1);
    EXPECT_EQ(0, d->RemoveTrigger(1)) << "handle 1 is the length trigger";
    ReceiveAndPass("g");
    EXPECT_TRUE(r.Notices.empty());
}

TEST_F(Triggers, DataTriggerOffersTheBytesInFrontFirst) {
    d->ChangeLengthTrigger(1);
    uint32_t ok = static_cast<uint32_t>(d->AddDataTrigger("OK", false));
    Recorder r(d.get());
    r.Reading = TakeOffered;
    d->RegisterEventTriggerHandler(r.Event());
    ReceiveAndPass("xxOK");
    ASSERT_EQ(2u, r.Notices.size());
    EXPECT_EQ(TriggerAvailMsg, r.Notices[0].Msg);
    EXPECT_EQ(2u, r.Notices[0].wParam);
    EXPECT_EQ("xx", r.Notices[0].Read);
    EXPECT_EQ(TriggerDataMsg, r.Notices[1].Msg);
    EXPECT_EQ(ok, r.Notices[1].wParam);
    EXPECT_EQ(2, DataWord(r.Notices[1]));
    EXPECT_EQ("OK", r.Notices[1].Read);
    EXPECT_EQ((4u) % 8192u, d->LastTailData) << "the next scan starts after 'K'";

    ReceiveAndPass("yOK");
    ASSERT_EQ(4u, r.Notices.size());
    EXPECT_EQ("y", r.Notices[2].Read);
    EXPECT_EQ("OK", r.Notices[3].Read);
}

struct MatchCase {
    const char* name;
    std::vector<std::pair<const char*, bool>> triggers;  // text, IgnoreCase
    const char* input;
    std::vector<int> fired;  // indexes into triggers, in the order announced
};

class DataTriggerMatches : public OpenPort, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(DataTriggerMatches, AnnouncesEachMatch) {
    const MatchCase& c = GetParam();
    d->ChangeLengthTrigger(0);
    std::vector<uint32_t> handles;
    for (const auto& [text, ignoreCase] : c.triggers)
        handles.push_back(static_cast<uint32_t>(d->AddDataTrigger(text, ignoreCase)));
    Recorder r(d.get());
    d->RegisterEventTriggerHandler(r.Event());
    ReceiveAndPass(c.input);
    for (int i = 0; i < 4; ++i) Pass();  // a pass ends early after a notification nobody read
    std::vector<uint32_t> expected;
    for (int i : c.fired) expected.push_back(handles[static_cast<size_t>(i)]);
    std::vector<uint32_t> got;
    for (const auto& n : r.Notices) {
        EXPECT_EQ(TriggerDataMsg, n.Msg);
        got.push_back(n.wParam);
    }
    EXPECT_EQ(expected, got);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DataTriggerMatches,
    ::testing::Values(
        MatchCase{"overlapping", {{"aa", false}}, "aaa", {0, 0}},
        MatchCase{"restart_inside", {{"aab", false}}, "aaab", {0}},
        MatchCase{"ignore_case", {{"ok", true}}, "OK Ok ok oK", {0, 0, 0, 0}},
        MatchCase{"case_matters", {{"ok", false}}, "OK Ok ok", {0}},
        MatchCase{"same_end_later_first", {{"OK", false}, {"K", false}}, "OK", {1, 0}},
        MatchCase{"no_match", {{"OK", false}}, "O K", {}},
        MatchCase{"longest", {{"abcdefghijklmnopqrstu", false}}, "xabcdefghijklmnopqrstu", {0}}),
    [](const auto& info) { return std::string(info.param.name); });

// Every occurrence of every trigger, overlaps included, against a reference that looks at each
// end position of the input on its own.
struct OverlapCase {
    const char* name;
    std::vector<std::pair<std::string, bool>> triggers;  // bytes, IgnoreCase (ASCII letters here)
    std::string input;
};

void PrintTo(const OverlapCase& c, std::ostream* os) { *os << c.name; }

// (end offset in the input, trigger index), per end offset the later-added trigger first.
std::vector<std::pair<size_t, size_t>> NaiveOccurrences(const OverlapCase& c) {
    auto fold = [](char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 32) : ch; };
    std::vector<std::pair<size_t, size_t>> hits;
    for (size_t end = 0; end < c.input.size(); ++end) {
        for (size_t t = c.triggers.size(); t-- > 0;) {
            const auto& [text, ignoreCase] = c.triggers[t];
            if (text.empty() || text.size() > end + 1) continue;
            bool same = true;
            for (size_t k = 0; k < text.size() && same; ++k) {
                char a = c.input[end + 1 - text.size() + k], b = text[k];
                same = ignoreCase ? fold(a) == fold(b) : a == b;
            }
            if (same) hits.emplace_back(end, t);
        }
    }
    return hits;
}

class OverlappingOccurrences : public OpenPort, public ::testing::WithParamInterface<OverlapCase> {
  protected:
    void SetUp() override {
        OpenPort::SetUp();
        d->ChangeLengthTrigger(0);
        for (const auto& [text, ignoreCase] : GetParam().triggers)
            handles.push_back(static_cast<uint32_t>(
                d->AddDataTriggerLen(text.data(), ignoreCase, static_cast<uint32_t>(text.size()))));
        r = Recorder(d.get());
        d->RegisterEventTriggerHandler(r.Event());
    }
    size_t IndexOf(uint32_t handle) const {
        for (size_t i = 0; i < handles.size(); ++i)
            if (handles[i] == handle) return i;
        return handles.size();
    }
    std::vector<uint32_t> handles;
    Recorder r{nullptr};
};

// Byte by byte: each notification is pinned to the byte that ended the occurrence.
TEST_P(OverlappingOccurrences, EachOccurrenceFiresAtItsLastByte) {
    const OverlapCase& c = GetParam();
    std::vector<std::pair<size_t, size_t>> got;
    for (size_t i = 0; i < c.input.size(); ++i) {
        size_t before = r.Notices.size();
        ReceiveAndPass(c.input.substr(i, 1));
        Pass();
        for (size_t k = before; k < r.Notices.size(); ++k) {
            EXPECT_EQ(TriggerDataMsg, r.Notices[k].Msg);
            got.emplace_back(i, IndexOf(r.Notices[k].wParam));
        }
    }
    EXPECT_EQ(NaiveOccurrences(c), got);
}

// All at once: one burst, the scan resuming after each match.
TEST_P(OverlappingOccurrences, OneBurstGivesTheSameSequence) {
    const OverlapCase& c = GetParam();
    ReceiveAndPass(c.input);
    for (size_t i = 0; i < c.input.size(); ++i) Pass();
    std::vector<size_t> expected, got;
    for (const auto& hit : NaiveOccurrences(c)) expected.push_back(hit.second);
    for (const auto& n : r.Notices) got.push_back(IndexOf(n.wParam));
    EXPECT_EQ(expected, got);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OverlappingOccurrences,
    ::testing::Values(
        OverlapCase{"aba_in_ababababa", {{"aba", false}}, "ababababa"},
        OverlapCase{"aaa_in_fourteen_a", {{"aaa", false}}, std::string(14, 'a')},
        OverlapCase{"aa_in_aaa", {{"aa", false}}, "aaa"},
        OverlapCase{"nested", {{"a", false}, {"aa", false}, {"aaa", false}}, "aaaa"},
        OverlapCase{"two_interleaved", {{"aba", false}, {"bab", false}}, "abababab"},
        OverlapCase{
            "suffix_of_another", {{"abcab", false}, {"cab", false}, {"b", false}}, "abcabcabcab"},
        OverlapCase{"same_text_twice", {{"ok", false}, {"ok", false}}, "okok"},
        OverlapCase{"case_mix", {{"Ab", false}, {"ab", true}, {"AB", false}}, "abABAbaBAb"},
        OverlapCase{"restart_inside", {{"aab", false}, {"aaab", true}}, "aaAaabAAAB"},
        OverlapCase{"bytes_above_127_and_nul",
                    {{std::string("\x00\xff", 2), false}, {"\xff\xff", false}},
                    std::string("\xff\xff\x00\xff\xff\xff", 6)},
        OverlapCase{"longest_self_overlapping",
                    {{"abababababababababab"
                      "a",
                      false}},
                    "ababababababababababababababa"},
        OverlapCase{"empty_trigger_never_fires", {{"", false}, {"x", false}}, "xx"}),
    [](const auto& info) { return std::string(info.param.name); });

// Bytes taken before the scan reached them (a flush, direct reads while delivery is held) are not
// scanned afterwards, and a partial match does not bridge them.
class ScanPosition : public OpenPort {
  protected:
    void SetUp() override { OpenFresh(); }
    // A new port with the "OK" trigger and the recorder registered; the one before is freed.
    void OpenFresh() {
        OpenPort::SetUp();
        d->ChangeLengthTrigger(0);
        ok = static_cast<uint32_t>(d->AddDataTrigger("OK", false));
        r = Recorder(d.get());
        d->RegisterEventTriggerHandler(r.Event());
    }
    void Hold(bool on) {
        bool wasOn = false;
        d->SetEventBusy(wasOn, on);
    }
    std::string Take(uint32_t n) {
        std::string s(n, '\0');
        EXPECT_EQ(static_cast<int32_t>(n), d->GetBlock(s.data(), n));
        return s;
    }
    uint32_t ok = 0;
    Recorder r{nullptr};
};

// A whole ring of x with "OK" at each of Positions.
std::string FullRingWithOkAt(std::initializer_list<size_t> Positions) {
    std::string burst(DispatchBufferSize, 'x');
    for (size_t at : Positions) burst.replace(at, 2, "OK");
    return burst;
}

// A handler that flushes on the first data notification: nothing from before the flush is
// announced afterwards, however full the ring was, and bytes that come later are scanned.
TEST_F(ScanPosition, AFlushDuringADataNotificationDropsTheRest) {
    const struct {
        const char* what;
        std::string input;
        uint32_t readFirst;  // bytes the handler takes before it flushes
    } cases[] = {
        {"a short line", "xxOKyyOK", 2},
        {"a full ring", FullRingWithOkAt({100, 5000}), 0},
        {"a full ring, read from before the flush", FullRingWithOkAt({100, 5000}), 2},
        {"a full ring, the second OK at its end", FullRingWithOkAt({100, 8190}), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OpenFresh();
        std::vector<int32_t> reads;
        r.After = [&](const Notice& n) {
            if (n.Msg != TriggerDataMsg || r.Notices.size() > 1) return;
            if (c.readFirst > 0) {
                std::string first(c.readFirst, '\0');
                reads.push_back(d->GetBlock(first.data(), c.readFirst));
            }
            EXPECT_GE(d->FlushInBuffer(), 0);
        };
        ReceiveAndPass(c.input);
        Pass();
        Pass();
        EXPECT_EQ(1u, r.Notices.size()) << "the second OK was flushed with the rest";
        EXPECT_EQ(ok, r.Notices.at(0).wParam);
        if (c.readFirst > 0) {
            EXPECT_EQ(std::vector<int32_t>{static_cast<int32_t>(c.readFirst)}, reads);
        }
        EXPECT_EQ(0, d->InBuffUsed());
        const size_t before = r.Notices.size();
        ReceiveAndPass("OK");
        EXPECT_EQ(before + 1, r.Notices.size()) << "new bytes are scanned as before";
        EXPECT_EQ("OK", ReadAll()) << "only the new bytes are unread";
    }
}

TEST_F(ScanPosition, AFlushDuringTheOfferInFrontDropsTheMatchToo) {
    d->ChangeLengthTrigger(1);
    r = Recorder(d.get());
    r.After = [&](const Notice& n) {
        if (n.Msg == TriggerAvailMsg) {
            EXPECT_GE(d->FlushInBuffer(), 0);
        }
    };
    ReceiveAndPass("xxOK");
    Pass();
    ASSERT_EQ(1u, r.Notices.size());
    EXPECT_EQ(TriggerAvailMsg, r.Notices[0].Msg);
}

TEST_F(ScanPosition, BytesReadDuringAHoldAreNotScannedAfterIt) {
    r = Recorder(d.get());
    Hold(true);
    ReceiveAndPass("xxOKxx");
    EXPECT_EQ("xxOKxx", Take(6));
    Hold(false);
    Pass();
    EXPECT_TRUE(r.Notices.empty());

    Hold(true);
    ReceiveAndPass("xxOKxxO");
    EXPECT_EQ("xx", Take(2)) << "a read that stops inside the unscanned bytes";
    Hold(false);
    Pass();
    Pass();
    ASSERT_EQ(1u, r.Notices.size()) << "what was not read is still scanned";
    EXPECT_EQ(ok, r.Notices[0].wParam);
    EXPECT_EQ(5, d->InBuffUsed()) << "the handler took nothing";
}

TEST_F(ScanPosition, APartialMatchDoesNotBridgeBytesTakenUnscanned) {
    r = Recorder(d.get());
    ReceiveAndPass("xO");  // scanned: 'O' waits for a 'K'
    Hold(true);
    ReceiveAndPass("x");
    EXPECT_EQ("xOx", Take(3));
    Hold(false);
    ReceiveAndPass("K");
    EXPECT_TRUE(r.Notices.empty()) << "the line carried OxK, not OK";
}

TEST_F(ScanPosition, AFlushAfterAFullRingLeavesNothingToScan) {
    r = Recorder(d.get());
    Hold(true);
    std::string burst(8192, 'x');
    burst.replace(100, 2, "OK");
    ReceiveAndPass(burst);
    ASSERT_EQ(8192, d->InBuffUsed());
    EXPECT_GE(d->FlushInBuffer(), 0);
    Hold(false);
    Pass();
    EXPECT_TRUE(r.Notices.empty());
    ReceiveAndPass("OK");
    ASSERT_EQ(1u, r.Notices.size());
}

// Ignore-case triggers fold with the code page the program runs with: in a Japanese one
// 0x81..0x9F and 0xE0..0xFC start double-byte characters, and neither they nor the byte after
// them are folded.
class CodePageFolding : public OpenPort, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(CodePageFolding, IgnoreCaseTriggersFoldAsTheCodePageSays) {
    const struct {
        const char* what;
        std::string trigger;
        bool ignoreCase;
        std::string input;
        bool fires1252;
        bool fires932;
    } cases[] = {
        {"ascii", "ok", true, "OK", true, true},
        {"ascii mixed", "ok", true, "xoKx", true, true},
        {"case kept", "ok", false, "OK", false, false},
        {"accented letters", "\xE9t\xE9", true, "\xC9T\xC9", true, false},
        {"lead bytes match themselves", "\xE9t\xE9", true, "\xE9t\xE9", true, true},
        {"y diaeresis", "\xFF", true, "\x9F", true, false},
        {"s caron", "\x9A", true, "x\x8A", true, false},
        {"no capital", "\xF7", true, "\xD7", false, false},
        {"micro sign", "\xB5", true, "\xB5", true, true},
        {"trail byte not folded", "\x82\x61", true, "\x82\x41", true, false},
        {"trail byte matches itself", "\x82\x61", true, "\x82\x61", true, true},
        {"letter after a lead byte is a trail byte", "ab", true, "\x83\x61\x62", true, false},
        {"a whole pair, then letters", "ab", true, "\x83\x83\x61\x62", true, true},
        {"half-width katakana", "\xB1", true, "\xB1", true, true},
    };
    const uint32_t codePage = GetParam();
    d->CaseFold = platform::CaseFolding::ForCodePage(codePage);
    d->ChangeLengthTrigger(0);
    Recorder r(d.get());
    d->RegisterEventTriggerHandler(r.Event());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        d->RemoveAllTriggers();
        EXPECT_GE(d->FlushInBuffer(), 0);
        r.Notices.clear();
        EXPECT_GE(d->AddDataTriggerLen(c.trigger.data(), c.ignoreCase,
                                       static_cast<uint32_t>(c.trigger.size())),
                  0);
        ReceiveAndPass(c.input);
        Pass();
        EXPECT_EQ(codePage == 932 ? c.fires932 : c.fires1252, !r.Notices.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Western, CodePageFolding, ::testing::Values(1252u));
INSTANTIATE_TEST_SUITE_P(Japanese, CodePageFolding, ::testing::Values(932u));

TEST_F(Triggers, DataTriggerLengthLimit) {
    std::string text(22, 'a');
    EXPECT_GT(d->AddDataTriggerLen(text.data(), false, 21), 0);
    EXPECT_EQ(-5002, d->AddDataTriggerLen(text.data(), false, 22));
    EXPECT_EQ(1u, d->DataTriggers.size());
}

TEST_F(Triggers, HandlesAreMultiplesOfEightAndStatusHandlesCarryTheirKind) {
    EXPECT_EQ(8, d->AddTimerTrigger());
    EXPECT_EQ(16, d->AddDataTrigger("x", false));
    EXPECT_EQ(27, d->AddStatusTrigger(3));
    EXPECT_EQ(StatusTriggerKind::OutputFree, TSioBaseDispatcher::ClassifyStatusTrigger(27));
    EXPECT_EQ(-1002, d->AddStatusTrigger(6));
    d->ChangeLengthTrigger(5);
    EXPECT_EQ(0, d->RemoveTrigger(1));
    EXPECT_EQ(0u, d->LenTrigger);
    EXPECT_EQ(3u, d->TimerTriggers.size() + d->DataTriggers.size() + d->StatusTriggers.size());
    EXPECT_EQ(0, d->RemoveTrigger(27));
    EXPECT_EQ(-5003, d->RemoveTrigger(27));
    EXPECT_EQ(-5003, d->RemoveTrigger(0));
}

TEST_F(Triggers, HandlesAfterTheFreshOnesRunOut) {
    for (uint32_t i = 1; i < 4096; ++i)
        ASSERT_EQ(static_cast<int32_t>(i * 8), d->AddTimerTrigger());
    // 8 .. 4096 are all in use: no handle left at or below 4096.
    EXPECT_EQ(-5001, d->AddTimerTrigger());
    EXPECT_EQ(-5001, d->AddStatusTrigger(2));
    EXPECT_EQ(0, d->RemoveTrigger(8000));
    EXPECT_EQ(-5001, d->AddTimerTrigger()) << "a freed handle above 4096 is not reused";
    EXPECT_EQ(0, d->RemoveTrigger(4096));
    EXPECT_EQ(0, d->RemoveTrigger(16));
    EXPECT_EQ(16, d->AddDataTrigger("z", false)) << "the lowest free handle comes first";
    EXPECT_EQ(4096 + 4, d->AddStatusTrigger(4));
    EXPECT_EQ(-5001, d->AddTimerTrigger());
    d->RemoveAllTriggers();
    EXPECT_EQ(8, d->AddTimerTrigger());
}

TEST_F(Triggers, OperationsRefuseHandlesOfTheWrongKind) {
    int32_t timer = d->AddTimerTrigger();
    int32_t status = d->AddStatusTrigger(1);
    int32_t data = d->AddDataTrigger("q", false);
    int32_t remaining = 77;
    EXPECT_EQ(-5003, d->SetStatusTrigger(static_cast<uint32_t>(timer), 0, true));
    EXPECT_EQ(-5003, d->SetTimerTrigger(static_cast<uint32_t>(status), 1, true));
    EXPECT_EQ(-5003, d->SetTimerTrigger(static_cast<uint32_t>(data), 1, true));
    EXPECT_EQ(-5003, d->ExtendTimer(0, 1));
    EXPECT_EQ(-5003, d->TimerTicksRemaining(static_cast<uint32_t>(status), remaining));
    EXPECT_EQ(0, remaining);
}

class TimerTriggers : public OpenPort {
  protected:
    void SetUp() override {
        platform::SetClockForTest([this] { return now; });
        OpenPort::SetUp();
    }
    void TearDown() override {
        OpenPort::TearDown();
        platform::SetClockForTest(nullptr);
    }
    void AdvanceTicks(uint32_t ticks) { now += ticks * 55; }
    uint32_t now = 5500;
};

TEST_F(TimerTriggers, FiresOncePerArming) {
    uint32_t h = static_cast<uint32_t>(d->AddTimerTrigger());
    Recorder r(d.get());
    d->RegisterEventTriggerHandler(r.Event());
    ASSERT_EQ(0, d->SetTimerTrigger(h, 3, true));
    int32_t left = 0;
    EXPECT_EQ(0, d->TimerTicksRemaining(h, left));
    EXPECT_EQ(3, left);
    AdvanceTicks(3);
    Pass();
    EXPECT_TRUE(r.Notices.empty()) << "a timer runs out after its ticks have passed";
    AdvanceTicks(1);
    Pass();
    Pass();
    ASSERT_EQ(1u, r.Notices.size());
    EXPECT_EQ(TriggerTimerMsg, r.Notices[0].Msg);
    EXPECT_EQ(h, r.Notices[0].wParam);

    EXPECT_EQ(0, d->SetTimerTrigger(h, 0, true)) << "0 re-arms with the last interval";
    EXPECT_EQ(0, d->TimerTicksRemaining(h, left));
    EXPECT_EQ(3, left);
    AdvanceTicks(4);
    Pass();
    EXPECT_EQ(2u, r.Notices.size());

    EXPECT_EQ(0, d->SetTimerTrigger(h, 5, true));
    EXPECT_EQ(0, d->SetTimerTrigger(h, 36, false));
    EXPECT_EQ(5, d->TimerTriggers[0].Ticks) << "disarming ignores the ticks";
    AdvanceTicks(50);
    Pass();
    EXPECT_EQ(2u, r.Notices.size());
}

TEST_F(TimerTriggers, ExtendTimerMovesTheExpiry) {
    uint32_t h = static_cast<uint32_t>(d->AddTimerTrigger());
    ASSERT_EQ(0, d->SetTimerTrigger(h, 10, true));
    EXPECT_EQ(0, d->ExtendTimer(h, 5));
    int32_t left = 0;
    EXPECT_EQ(0, d->TimerTicksRemaining(h, left));
    EXPECT_EQ(15, left);
    EXPECT_EQ(0, d->ExtendTimer(h, -20));
    EXPECT_EQ(0, d->TimerTicksRemaining(h, left));
    EXPECT_EQ(0, left);
}

class StatusTriggers : public OpenPort {
  protected:
    void SetUp() override {
        OpenPort::SetUp();
        d->RegisterEventTriggerHandler(r.Event());
    }
    uint32_t Arm(uint32_t kind, uint32_t value) {
        auto h = static_cast<uint32_t>(d->AddStatusTrigger(kind));
        EXPECT_EQ(0, d->SetStatusTrigger(h, value, true));
        return h;
    }
    Recorder r{nullptr};
};

TEST_F(StatusTriggers, ModemChangeFiresWhenAMaskedLineMoves) {
    uint32_t h = Arm(1, 0x10);  // CTS, armed while low
    Pass();
    EXPECT_TRUE(r.Notices.empty());
    d->SetModemLines(0x20);  // DSR: not in the mask
    d->SignalEvent(0x10);
    Pass();
    EXPECT_TRUE(r.Notices.empty());
    d->SetModemLines(0x30);
    d->SignalEvent(0x8);
    Pass();
    ASSERT_EQ(1u, r.Notices.size());
    EXPECT_EQ(TriggerStatusMsg, r.Notices[0].Msg);
    EXPECT_EQ(h, r.Notices[0].wParam);
    EXPECT_EQ(0, DataWord(r.Notices[0]));
    d->SetModemLines(0x00);
    d->SignalEvent(0x8);
    Pass();
    EXPECT_EQ(1u, r.Notices.size()) << "disarmed until armed again";
    EXPECT_EQ(0, d->SetStatusTrigger(h, 0x10, true));
    d->SetModemLines(0x10);
    d->SignalEvent(0x8);
    Pass();
    EXPECT_EQ(2u, r.Notices.size());
}

TEST_F(StatusTriggers, LineErrorFiresAndKeepsTheErrorBitsSeen) {
    uint32_t h = Arm(2, 8);  // break
    EXPECT_EQ(16, d->StatusTriggers[0].Value);
    d->AddLineErrors(2);  // overrun only: not in the mask
    d->SignalEvent(0x80);
    Pass();
    EXPECT_TRUE(r.Notices.empty());
    d->AddLineErrors(16);
    d->SignalEvent(0x40);
    Pass();
    ASSERT_EQ(1u, r.Notices.size());
    EXPECT_EQ(h, r.Notices[0].wParam);
    EXPECT_EQ(18, d->StatusTriggers[0].Value) << "replaced by the line-error bits present";
}

TEST_F(StatusTriggers, OutputFreeAndUsedCarryTheCount) {
    uint32_t used = Arm(4, 0);
    ASSERT_EQ(0, d->PutString("0123456789"));
    Pass();
    EXPECT_TRUE(r.Notices.empty()) << "10 bytes waiting";
    d->Transmit();
    Pass();
    ASSERT_EQ(1u, r.Notices.size());
    EXPECT_EQ(used, r.Notices[0].wParam);
    EXPECT_EQ(0, DataWord(r.Notices[0]));

    ASSERT_EQ(0, d->PutString(std::string(1000, 'x')));
    uint32_t freeTrigger = Arm(3, 3000);
    Pass();
    ASSERT_EQ(2u, r.Notices.size());
    EXPECT_EQ(freeTrigger, r.Notices[1].wParam);
    EXPECT_EQ(3096, DataWord(r.Notices[1]));
}

TEST_F(StatusTriggers, OutputSentFiresOnceAfterEachBlock) {
    uint32_t h = Arm(5, 0);
    Pass();
    EXPECT_TRUE(r.Notices.empty());
    ASSERT_EQ(0, d->PutString("a"));
    Pass();
    Pass();
    ASSERT_EQ(1u, r.Notices.size());
    EXPECT_EQ(h, r.Notices[0].wParam);
    EXPECT_EQ(0, d->SetStatusTrigger(h, 0, true));
    Pass();
    EXPECT_EQ(1u, r.Notices.size()) << "no block written since";
    ASSERT_EQ(0, d->PutString("b"));
    Pass();
    EXPECT_EQ(2u, r.Notices.size());
}

TEST_F(StatusTriggers, InactiveKindNeverFires) {
    Arm(0, 0);
    ASSERT_EQ(0, d->PutString("a"));
    d->SignalEvent(0xFF);
    Pass();
    EXPECT_TRUE(r.Notices.empty());
}

TEST_F(Triggers, SavedTriggersComeBackWithTheirHandles) {
    d->ChangeLengthTrigger(3);
    int32_t timer = d->AddTimerTrigger();
    int32_t data = d->AddDataTrigger("ab", true);
    int32_t status = d->AddStatusTrigger(5);
    TTriggerSave save;
    d->SaveTriggers(save);
    d->RemoveAllTriggers();
    EXPECT_EQ(0u, d->LenTrigger);
    d->RestoreTriggers(save);
    EXPECT_EQ(3u, d->LenTrigger);
    ASSERT_EQ(1u, d->TimerTriggers.size());
    EXPECT_EQ(static_cast<uint32_t>(timer), d->TimerTriggers[0].Handle);
    EXPECT_EQ(static_cast<uint32_t>(data), d->DataTriggers[0].Handle);
    EXPECT_EQ('A', d->DataTriggers[0].Data[0]);
    EXPECT_EQ(static_cast<uint32_t>(status), d->StatusTriggers[0].Handle);
    EXPECT_EQ(status - 5 + 8, d->AddTimerTrigger()) << "fresh handles do not repeat restored ones";
    ClearSaveBuffers(save);
    d->RestoreTriggers(save);
    EXPECT_TRUE(d->TimerTriggers.empty());
}

}  // namespace
