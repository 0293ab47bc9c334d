#pragma once
// Reply records of a unit: "A<n>,<temperature>,<bath>,<setting>,<millivolts>,<pressure>" ended by SUB, one
// cell per record. The input is cut into records at each SUB and each record is accepted or dropped by fixed
// rules; nothing is trimmed, so a CR, LF or blank before a record makes it unreadable.
#include "records/UnitLink.h"

#include <QByteArray>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace realtime {

// One accepted record. Temperatures °F, pressure psi as sent (the poll takes it to a whole number).
struct UnitReplyFrame {
    int cell = 0;              // 1 = "A", 2 = "B"
    double currentTemp = 0;    // field 2
    double bathTemp = 0;       // field 3
    double tempSetting = 0;    // field 4, the set point the unit reports
    double milliVolts = 0;     // field 5, transducer output
    double pressure = 0;       // field 6
};

constexpr int MaxReplyFields = 20;   // a record with more fields is dropped at once
constexpr int ReplyFieldCount = 6;   // only a record of exactly this many fields is used

using ReplyFields = std::array<std::string_view, MaxReplyFields>;

// Cuts a record into fields: the text before each comma is one field (possibly empty); the text after the
// last comma is one more field only when it is not empty, so a trailing comma adds no field. Returns the
// number of fields, or -1 when there are more than MaxReplyFields. The fields point into record.
int splitReplyFields(std::string_view record, ReplyFields& fields);

// Accepts a record (the text between two SUBs) or drops it (nullopt): exactly six fields, and field 1
// begins with "A" or "B" (upper case). Fields 2..6 are read as leading numbers (0 when there is none);
// the number after the cell letter is not used.
std::optional<UnitReplyFrame> parseReplyFrame(std::string_view record);

// The input of one unit, kept between poll ticks.
//
// Cap: the text after the last SUB (an unfinished record) is kept to at most Cap bytes (64 KiB). When more
// arrives without a SUB, the oldest bytes of that text are dropped, so a unit that sends garbage forever
// cannot grow memory without bound. A real record is under a hundred bytes, so the cap only ever cuts
// garbage (the cut record is then dropped because its cell letter is gone). Text before a SUB is never
// dropped here: it is a complete record and is taken on the same tick.
class ReplyBuffer {
public:
    static constexpr std::size_t Cap = unitlink::ReceivedTextCap;

    void append(const char* data, std::size_t size);
    void append(const QByteArray& bytes) { append(bytes.constData(), std::size_t(bytes.size())); }

    // True when the buffer holds a SUB, that is, at least one complete record.
    bool holdsRecordEnd() const;

    // Cuts the next complete record: the text before the first SUB; the buffer keeps what follows the SUB.
    // False when no SUB is left (the unfinished rest stays for the next tick). The view points into the
    // buffer and is valid only until the next call of any member.
    bool nextRecord(std::string_view& record);

    // Bytes held (unfinished text plus complete records not yet taken).
    std::size_t size() const { return data_.size() - start_; }
    std::string_view text() const { return std::string_view(data_).substr(start_); }
    void clear();

private:
    void compact();

    std::string data_;
    std::size_t start_ = 0;   // bytes before start_ have been taken already
};

} // namespace realtime
