// One walk over the records of a page body.
//
// Records lie back to back in the record area of a page. Each is found at
// its position: the first at `first`, every next one at the position of
// the last plus the last record's length. A record's bytes start `lead`
// bytes before its position; its length is the signed 16-bit value at
// position + `length_at`. Format 12 records start at their position (lead
// 0) and keep their length at the page's firoff; row-addressed pages of
// later formats place the position a few bytes into the row (for example
// first 16, lead 4, length_at 66).
//
//     RecordCursor cursor(bl.data.data(), bl.RecordAreaLength(), page, layout, "the column catalogue");
//     while (cursor.Next()) {
//         const uint8_t *rec = cursor.record();   // cursor.length() bytes, all inside the area
//     }
//
// Next() yields only records lying wholly inside the record area. It stops
// at the end of the area, at a zero length (the end of the page's records)
// and at a length that cannot be true: one whose field lies outside the
// area, one below `min_length`, or one that runs past the area. A bad
// length is logged once, at error level, with page and position.
#pragma once

#include <cstdint>

struct RecordLayout {
    int first = 0;      // position of the first record in the body
    int lead = 0;       // bytes of a record before its position
    int length_at = 0;  // offset of the record's length from its position
    int min_length = 1; // shorter stated lengths are bad
    // When not 0: a record whose first byte is 0 stores no length and is
    // this many bytes long (data rows without variable-length columns).
    int implied_length = 0;
    // Where that first byte lies: its offset from the record's first byte
    // (rows that open with a row number keep it after the number).
    int implied_flag_at = 0;
    // When not 0: every record is this many bytes long and stores no
    // length (length_at is not used); the records end where the next one
    // would not fit the area.
    int fixed_length = 0;
};

enum class RecordStop {
    kWalking,       // not stopped yet
    kEndOfArea,     // the next position lies at or past the end of the area
    kZeroLength,    // a length of 0 marks the end of the records
    kLengthOutside, // the length field (or an implied record) lies past the area
    kBadLength,     // below min_length, or the record runs past the area
};

class RecordCursor {
public:
    // `body`: the page body (at least `area_end` bytes); `area_end`: the
    // end of the record area; `page` and `what` name the page in the log.
    RecordCursor(const uint8_t *body, int area_end, int32_t page, const RecordLayout &layout,
                 const char *what);

    // Moves to the next record. False when the walk has stopped (stop()).
    bool Next();

    // Position of the current record (where its fields are counted from).
    int position() const { return position_; }
    // Offset of the current record's first byte in the body.
    int start() const { return position_ - layout_.lead; }
    // Length of the current record, and its first byte.
    int length() const { return length_; }
    const uint8_t *record() const { return body_ + start(); }
    // True when `count` bytes at `at` (from the current record's position)
    // lie inside the record area.
    bool InArea(int at, int count) const;

    RecordStop stop() const { return stop_; }
    // Records yielded so far.
    int count() const { return count_; }

private:
    bool Stop(RecordStop why, int stated);

    const uint8_t *body_;
    int area_end_;
    int32_t page_;
    RecordLayout layout_;
    const char *what_;
    int position_ = 0;
    int length_ = 0;
    int count_ = 0;
    bool started_ = false;
    RecordStop stop_ = RecordStop::kWalking;
};
