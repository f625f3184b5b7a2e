// The trace file's format and its writing.
#include "serial/dispatch/trace_file.h"

#include <cstdio>

#include "serial/dispatch/log_bytes.h"
#include "serial/dispatch/log_text_file.h"

namespace {

constexpr int kTraceColumns = 78;
constexpr const char* kLineEnd = "\r\n";

// Appends the trace text entry by entry; the writer empties `out` into the file as it grows.
class TraceFormatter {
  public:
    TraceFormatter(bool InHex, bool AllHex, std::string& out)
        : inHex_(InHex), allHex_(AllHex), out_(out) {}

    void Add(const TTraceRecord& r) {
        if (r.EventType != previousType_) {
            if (!first_) {
                out_ += kLineEnd;
                out_ += kLineEnd;
            }
            out_ += TraceHeaderText(r.EventType);
            out_ += kLineEnd;
            column_ = 0;
            previousType_ = r.EventType;
        }
        first_ = false;
        char item[8];
        auto b = static_cast<uint8_t>(r.C);
        int width =
            FormatLogByte(item, b, !allHex_ && LogByteIsLiteral(b, inHex_), allHex_ || inHex_);
        column_ += width;
        if (column_ > kTraceColumns) {
            out_ += kLineEnd;
            column_ = width;
        }
        out_.append(item, static_cast<size_t>(width));
    }

  private:
    bool inHex_, allHex_;
    std::string& out_;
    char previousType_ = 0;
    bool first_ = true;
    int column_ = 0;
};

}  // namespace

std::string TraceHeaderText(char EventType) {
    switch (EventType) {
        case 'R':
            return "Receive: ";
        case 'T':
            return "Transmit: ";
        default:
            return std::string("Special-") + EventType + ": ";
    }
}

std::string FormatTraceText(bool InHex, bool AllHex, std::span<const TTraceRecord> older,
                            std::span<const TTraceRecord> newer) {
    std::string text;
    TraceFormatter f(InHex, AllHex, text);
    for (const auto& r : older) f.Add(r);
    for (const auto& r : newer) f.Add(r);
    return text;
}

int32_t WriteTraceRecords(const std::string& FName, bool Append, bool InHex, bool AllHex,
                          std::span<const TTraceRecord> older,
                          std::span<const TTraceRecord> newer) {
    if (older.empty() && newer.empty()) return 0;
    TLogTextFile file;
    if (int32_t err = file.Open(FName, Append); err != 0) return -err;
    if (file.HadContent()) file.Write("\r\n\r\n");
    std::string chunk;
    TraceFormatter f(InHex, AllHex, chunk);
    auto feed = [&](std::span<const TTraceRecord> part) {
        for (const auto& r : part) {
            f.Add(r);
            if (chunk.size() >= 32 * 1024) {
                file.Write(chunk);
                chunk.clear();
            }
        }
    };
    feed(older);
    feed(newer);
    file.Write(chunk);
    return -file.Close();
}
