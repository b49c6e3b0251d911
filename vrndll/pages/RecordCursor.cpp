#include "vrndll/pages/RecordCursor.h"

#include "Common/logger/logger.h"

namespace {

int16_t Int16At(const uint8_t *p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

} // namespace

RecordCursor::RecordCursor(const uint8_t *body, int area_end, int32_t page, const RecordLayout &layout,
                           const char *what)
    : body_(body), area_end_(area_end < 0 ? 0 : area_end), page_(page), layout_(layout),
      what_(what ? what : "a page") {}

bool RecordCursor::InArea(int at, int count) const {
    const int64_t from = static_cast<int64_t>(position_) + at;
    return from >= 0 && count >= 0 && from + count <= area_end_;
}

bool RecordCursor::Next() {
    if (stop_ != RecordStop::kWalking) return false;
    position_ = started_ ? position_ + length_ : layout_.first;
    started_ = true;
    length_ = 0;
    const int64_t start = static_cast<int64_t>(position_) - layout_.lead;
    if (start < 0 || start >= area_end_) return Stop(RecordStop::kEndOfArea, 0);
    const int64_t room = area_end_ - start;

    int stated;
    if (layout_.fixed_length > 0) {
        if (layout_.fixed_length > room) return Stop(RecordStop::kEndOfArea, 0);
        stated = layout_.fixed_length;
    } else if (layout_.implied_length > 0 && start + layout_.implied_flag_at < area_end_ &&
               body_[start + layout_.implied_flag_at] == 0) {
        stated = layout_.implied_length;
        if (stated > room) return Stop(RecordStop::kLengthOutside, stated);
    } else {
        if (!InArea(layout_.length_at, 2)) return Stop(RecordStop::kLengthOutside, 0);
        stated = Int16At(body_ + position_ + layout_.length_at);
        if (stated == 0) return Stop(RecordStop::kZeroLength, 0);
        if (stated < layout_.min_length || stated > room) return Stop(RecordStop::kBadLength, stated);
    }
    length_ = stated;
    ++count_;
    return true;
}

bool RecordCursor::Stop(RecordStop why, int stated) {
    stop_ = why;
    if (why == RecordStop::kLengthOutside)
        TheLogger().ErrorFormat("Bad rec_len: the record at %d of page %ld of %s runs past the %d-byte record area",
                                position_, static_cast<long>(page_), what_, area_end_);
    else if (why == RecordStop::kBadLength)
        TheLogger().ErrorFormat("Bad rec_len [%d]: the record at %d of page %ld of %s, %d bytes to the end of the record area",
                                stated, position_, static_cast<long>(page_), what_,
                                area_end_ - (position_ - layout_.lead));
    return false;
}
