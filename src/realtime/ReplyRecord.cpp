#include "realtime/ReplyRecord.h"

#include "realtime/UnitCommands.h"
#include "records/format.h"

#include <cstring>

namespace realtime {

int splitReplyFields(std::string_view record, ReplyFields& fields)
{
    int count = 0;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t comma = record.find(',', pos);
        if (comma == std::string_view::npos) {
            if (pos < record.size()) {
                if (count == MaxReplyFields) return -1;
                fields[std::size_t(count++)] = record.substr(pos);
            }
            return count;
        }
        if (count == MaxReplyFields) return -1;
        fields[std::size_t(count++)] = record.substr(pos, comma - pos);
        pos = comma + 1;
    }
}

namespace {
double leadingOf(std::string_view field) { return Format::leading(field.data(), field.size()); }
} // namespace

std::optional<UnitReplyFrame> parseReplyFrame(std::string_view record)
{
    ReplyFields fields;
    if (splitReplyFields(record, fields) != ReplyFieldCount) return std::nullopt;
    const std::string_view tag = fields[0];
    if (tag.empty()) return std::nullopt;
    UnitReplyFrame f;
    if (tag.front() == 'A')
        f.cell = 1;
    else if (tag.front() == 'B')
        f.cell = 2;
    else
        return std::nullopt;
    f.currentTemp = leadingOf(fields[1]);
    f.bathTemp = leadingOf(fields[2]);
    f.tempSetting = leadingOf(fields[3]);
    f.pressure = leadingOf(fields[5]);
    f.milliVolts = leadingOf(fields[4]);
    return f;
}

void ReplyBuffer::append(const char* data, std::size_t size)
{
    if (size == 0) return;
    compact();
    data_.append(data, size);

    // Keep the unfinished text after the last SUB within the cap, dropping its oldest bytes.
    const unitlink::TextCut cut = unitlink::unfinishedExcess(data_, Cap);
    data_.erase(cut.at, cut.count);
}

bool ReplyBuffer::holdsRecordEnd() const
{
    return std::memchr(data_.data() + start_, linkchar::SUB, data_.size() - start_) != nullptr;
}

bool ReplyBuffer::nextRecord(std::string_view& record)
{
    const char* begin = data_.data() + start_;
    const auto* sub = static_cast<const char*>(std::memchr(begin, linkchar::SUB, data_.size() - start_));
    if (!sub) {
        compact();
        return false;
    }
    record = std::string_view(begin, std::size_t(sub - begin));
    start_ += record.size() + 1;
    return true;
}

void ReplyBuffer::clear()
{
    data_.clear();
    start_ = 0;
}

void ReplyBuffer::compact()
{
    if (start_ == 0) return;
    data_.erase(0, start_);
    start_ = 0;
    // One unusually large read must not pin its memory for the life of the screen.
    if (data_.capacity() > 4 * Cap && data_.size() < Cap) data_.shrink_to_fit();
}

} // namespace realtime
