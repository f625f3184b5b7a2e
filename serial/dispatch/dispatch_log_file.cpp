// The dispatch log's format and its writing.
#include "serial/dispatch/dispatch_log_file.h"

#include <cstdio>
#include <memory>

#include "platform/os_version.h"
#include "serial/dispatch/io_queue.h"
#include "serial/dispatch/log_bytes.h"
#include "serial/dispatch/log_text_file.h"
#include "serial/dispatch/triggers.h"

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr int kPrefixWidth = 44;
constexpr int kLogColumns = 78;

// Names the tool that built the program; the header prints at most 80 characters of it.
#if defined(__clang__)
constexpr const char* kCompilerText = "Clang " __clang_version__;
#elif defined(__MINGW64__)
constexpr const char* kCompilerText = "GCC " __VERSION__ " (mingw-w64)";
#elif defined(__GNUC__)
constexpr const char* kCompilerText = "GCC " __VERSION__;
#else
constexpr const char* kCompilerText = "C++ compiler";
#endif

std::string Cut80(const std::string& s) { return s.substr(0, 80); }

}  // namespace

std::string DispatchTypeLabel(TDispatchType DT) {
    static const char* const kLabels[] = {
        "No event", "Dispatch", "Trigger",  "Error",  "Thread", "TrigAllc", "TrigDisp",
        "TrgHdAlc", "TrgHdDsp", "TrDatChg", "Telnet", "Fax",    "XModem",   "YModem",
        "ZModem",   "Kermit",   "Ascii",    "BPlus",  "Packet", "User",     "Script"};
    auto v = static_cast<size_t>(DT);
    return v < std::size(kLabels) ? kLabels[v] : std::string();
}

std::string DispatchSubTypeLabel(TDispatchSubType DST) {
    switch (DST) {
        case TDispatchSubType::dstNone:
            return "";
        case TDispatchSubType::dstReadCom:
            return "ReadCom";
        case TDispatchSubType::dstWriteCom:
            return "WriteCom";
        case TDispatchSubType::dstLineStatus:
            return "Line status";
        case TDispatchSubType::dstModemStatus:
            return "Modem status";
        case TDispatchSubType::dstAvail:
            return "Avail";
        case TDispatchSubType::dstTimer:
            return "Timer";
        case TDispatchSubType::dstData:
            return "Data";
        case TDispatchSubType::dstStatus:
            return "Status";
        case TDispatchSubType::dstThreadStart:
            return "Start";
        case TDispatchSubType::dstThreadExit:
            return "Exit";
        case TDispatchSubType::dstThreadSleep:
            return "Sleep";
        case TDispatchSubType::dstThreadWake:
            return "Wake";
        case TDispatchSubType::dstDataTrigger:
            return "Data";
        case TDispatchSubType::dstTimerTrigger:
            return "Timer";
        case TDispatchSubType::dstStatusTrigger:
            return "Status";
        case TDispatchSubType::dstAvailTrigger:
            return "Avail";
        case TDispatchSubType::dstWndHandler:
            return "Window";
        case TDispatchSubType::dstProcHandler:
            return "Procedure";
        case TDispatchSubType::dstEventHandler:
            return "Method";
        case TDispatchSubType::dstEnable:
            return "Enable";
        case TDispatchSubType::dstDisable:
            return "Disable";
        case TDispatchSubType::dstStringPacket:
            return "StringPacket";
        case TDispatchSubType::dstSizePacket:
            return "SizePacket";
        case TDispatchSubType::dstPacketTimeout:
            return "PcktTimeout";
        case TDispatchSubType::dstStartStr:
            return "StartStr";
        case TDispatchSubType::dstEndStr:
            return "EndStr";
        case TDispatchSubType::dstIdle:
            return "Idle";
        case TDispatchSubType::dstWaiting:
            return "Waiting";
        case TDispatchSubType::dstCollecting:
            return "Collecting";
        case TDispatchSubType::dstThreadStatusQueued:
            return "Status Queued";
        case TDispatchSubType::dstThreadDataQueued:
            return "Data Queued";
        case TDispatchSubType::dstThreadDataWritten:
            return "Data Written";
    }
    // The values of engines this program does not contain never reach the log; should one
    // appear, its number keeps the line readable.
    return "#" + std::to_string(static_cast<unsigned>(DST));
}

std::string LogTimeText(uint32_t Ms) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%07u", static_cast<unsigned>(Ms));
    std::string text = digits;
    text.insert(text.size() - 3, ".");
    return text;
}

std::string StatusTriggerKindText(uint8_t Kind) {
    switch (static_cast<StatusTriggerKind>(Kind)) {
        case StatusTriggerKind::Inactive:
            return "(Not active)";
        case StatusTriggerKind::ModemChange:
            return "(Modem status)";
        case StatusTriggerKind::LineError:
            return "(Line status)";
        case StatusTriggerKind::OutputFree:
            return "(Output buffer free)";
        case StatusTriggerKind::OutputUsed:
            return "(Output buffer used)";
        case StatusTriggerKind::OutputSent:
            return "(Output sent)";
        default:
            return "";
    }
}

std::string ModemStatusBitsText(uint32_t Data) {
    static const char* const kNames[] = {"DCTS", "DDSR", "TERI", "DDCD", "CTS", "DSR", "RI", "DCD"};
    std::string text = "(";
    bool first = true;
    for (unsigned bit = 0; bit < 8; ++bit) {
        if ((Data & (1u << bit)) == 0) continue;
        if (!first) text += ' ';
        text += kNames[bit];
        first = false;
    }
    return text + ")";
}

std::string LogDateTimeText(const std::tm& T, char DateSeparator, char TimeSeparator) {
    char text[64];
    std::snprintf(text, sizeof text, "%02d%c%02d%c%02d, %02d%c%02d%c%02d", T.tm_mday % 100,
                  DateSeparator, (T.tm_mon + 1) % 100, DateSeparator, (T.tm_year + 1900) % 100,
                  T.tm_hour % 100, TimeSeparator, T.tm_min % 100, TimeSeparator, T.tm_sec % 100);
    return text;
}

std::string DispatchLogHeader(const std::string& DeviceName, const std::string& OsText,
                              const std::string& DateTime) {
    std::string h;
    h += std::string("SIO v5.00") + kLineEnd;
    h += "Compiler : " + Cut80(kCompilerText) + kLineEnd;
    h += "Operating System : " + Cut80(OsText) + kLineEnd;
    h += "Device: " + DeviceName + kLineEnd;
    h += "Date/time: " + Cut80(DateTime) + kLineEnd;
    h += std::string("Time      Type      SubType       Data      OtherData") + kLineEnd;
    h += std::string("--------  --------  ------------  --------  ---------") + kLineEnd;
    return h;
}

std::string FormatDispatchEntry(TDispatchType DT, TDispatchSubType DST, uint32_t Time,
                                uint32_t Data, std::span<const uint8_t> Bytes, bool InHex,
                                bool AllHex) {
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "%8s  %-8s  %-12s  %08X  ", LogTimeText(Time).c_str(),
                  DispatchTypeLabel(DT).c_str(), DispatchSubTypeLabel(DST).c_str(),
                  static_cast<unsigned>(Data));
    std::string line = prefix;
    if (!Bytes.empty()) {
        bool statusTrigger =
            DST == TDispatchSubType::dstStatusTrigger &&
            (DT == TDispatchType::dtTriggerAlloc || DT == TDispatchType::dtTriggerDispose);
        if (statusTrigger) {
            line += StatusTriggerKindText(Bytes[0]);
        } else {
            int column = kPrefixWidth + 1;
            for (uint8_t b : Bytes) {
                char item[8];
                // All in hexadecimal: a user's own entry stays text, every byte else a number.
                const bool literal =
                    AllHex ? DT == TDispatchType::dtUser : LogByteIsLiteral(b, InHex);
                int width = FormatLogByte(item, b, literal, AllHex || InHex);
                column += width;
                if (column > kLogColumns) {
                    line += kLineEnd;
                    line.append(kPrefixWidth, ' ');
                    column = width + kPrefixWidth + 1;
                }
                line.append(item, static_cast<size_t>(width));
            }
        }
        if (DST == TDispatchSubType::dstModemStatus) line += ModemStatusBitsText(Data);
    } else if (DT == TDispatchType::dtTelnet) {
        // Telnet option names belong to a telnet engine, which this program does not contain;
        // the option's number stands in for its name.
        if (Data <= 42) line += "[" + std::to_string(Data) + "]";
    }
    line += kLineEnd;
    return line;
}

int32_t WriteDispatchLogFile(const std::string& FName, bool Append, bool InHex, bool AllHex,
                             const std::string& DeviceName, TIOQueue& queue) {
    if (queue.Count() == 0) return 0;
    TLogTextFile file;
    if (int32_t err = file.Open(FName, Append); err != 0) return -err;
    file.Write(DispatchLogHeader(DeviceName, platform::OsVersionText(), LogDateTimeNow()));
    // Entries pushed while the file is being written are drained too.
    while (std::unique_ptr<TIOBuffer> item = queue.Pop()) {
        const auto* entry = dynamic_cast<const TLogBuffer*>(item.get());
        if (!entry) continue;
        std::span<const uint8_t> bytes;
        if (entry->drBuffer())
            bytes = {entry->drBuffer(), static_cast<size_t>(entry->drMoreData())};
        file.Write(FormatDispatchEntry(entry->drType(), entry->drSubType(), entry->drTime(),
                                       entry->drData(), bytes, InHex, AllHex));
    }
    return -file.Close();
}
