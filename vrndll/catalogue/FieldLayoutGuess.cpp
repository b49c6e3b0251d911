#include "vrndll/catalogue/FieldLayoutGuess.h"
#include "vrndll/catalogue/Generation.h"

#include <algorithm>
#include <cstddef>

namespace {

using Row = std::vector<uint8_t>;

constexpr uint8_t kUnknown = 255;
constexpr size_t kSampledRows = 10;

// User types the guess gives.
constexpr uint8_t kChar = 1, kVarChar = 2, kBinary = 3, kVarBinary = 4, kTinyInt = 5, kSmallInt = 6,
                  kInt = 7, kDateTime = 12, kSysname = 18, kText = 19, kSmallDateTime = 22,
                  kTimestamp = 80;

// Days from 1 January 1900 to 1 January 1910, and to the last day datetime holds.
constexpr int32_t kPlausibleFirstDay = 3653;
constexpr int32_t kLastDay = 2958463;
constexpr uint32_t kTicksPerDay = 300u * 86400u;
constexpr uint32_t kMinutesPerDay = 1440;

// ---------------------------------------------------------------- variable columns

// Length of variable column c of `row` (0: NULL, not stored, or an offset
// table that cannot be true), and where its bytes start.
int VariableLength(const Row &row, int firoff, int c, size_t *start) {
    const size_t n = row.size();
    const int stored = row[0];
    if (c >= stored || n < static_cast<size_t>(firoff) + 2 + static_cast<size_t>(stored) + 1) return 0;
    const int from = row[n - 1 - static_cast<size_t>(c)];
    const int to = row[n - 2 - static_cast<size_t>(c)];
    const int length = n > 255 ? (to - from) & 0xFF : to - from;
    if (length <= 0 || static_cast<size_t>(from) + static_cast<size_t>(length) > n) return 0;
    *start = static_cast<size_t>(from);
    return length;
}

uint8_t ClassifyVariable(const std::vector<const Row *> &rows, int firoff, int c, DumpFormat format) {
    const int target = static_cast<int>(std::min(rows.size(), kSampledRows));
    int zeros = 0, ten = 0, eight = 0, one = 0;
    for (const Row *row : rows) {
        size_t start = 0;
        const int length = VariableLength(*row, firoff, c, &start);
        if (length == 0) continue; // a NULL says nothing
        if (zeros != -1) {
            int at_odd = 0;
            for (int j = 1; j < length; j += 2) at_odd += (*row)[start + static_cast<size_t>(j)] == 0;
            zeros = at_odd == length / 2 ? zeros + 1 : -1;
        }
        ten = length == 10 && ten != -1 ? ten + 1 : -1;
        eight = length == 8 && eight != -1 ? eight + 1 : -1;
        if (length == 1) ++one;
        uint8_t type = 0;
        if (zeros == 3 || zeros == target) type = kVarChar;
        if (ten == target) type = kText;
        if (eight == target) type = GenerationOf(format).eight_byte_guess;
        if (zeros == -1 && ten == -1 && eight == -1) type = kVarChar;
        if (one == target) type = kSysname;
        if (type != 0) return type;
    }
    return kVarBinary; // no sign in the rows: kept as its bytes
}

// ---------------------------------------------------------------- fixed area

class FixedArea {
public:
    FixedArea(const std::vector<const Row *> &rows, int positions)
        : rows_(rows), t_(static_cast<size_t>(positions), kUnknown) {}

    std::vector<uint8_t> Classify() {
        const size_t n = rows_.size();
        if (n > 3) {
            Mark(8, kDateTime, [&](size_t i) { return AllRows(i, [&](const Row &r, size_t at) {
                const int32_t days = static_cast<int32_t>(U32(r, at));
                return days >= kPlausibleFirstDay && days <= kLastDay && U32(r, at + 4) < kTicksPerDay;
            }) && SomeRow([&](const Row &r) { return U32(r, 2 + i + 4) != 0; }); });
            Mark(4, kSmallDateTime, [&](size_t i) { return AllRows(i, [&](const Row &r, size_t at) {
                return U16(r, at) >= kPlausibleFirstDay && U16(r, at + 2) < kMinutesPerDay;
            }) && SomeRow([&](const Row &r) { return U16(r, 2 + i + 2) != 0; }); });
        }
        Mark(4, kInt, [&](size_t i) { return SmallHighByte(i + 3); });
        Mark(2, kSmallInt, [&](size_t i) { return SmallHighByte(i + 1); });
        for (size_t i = 0; i < t_.size(); ++i)
            if (t_[i] == kUnknown && AllRows(i, [](const Row &r, size_t at) { return r[at] == 0; })) t_[i] = 0;
        // The byte before a run of zero bytes opens a character field that
        // the zeros pad.
        for (size_t i = 1; i < t_.size(); ++i)
            if (t_[i] == 0 && t_[i - 1] == kUnknown) t_[i - 1] = kChar;
        for (size_t i = 0; i < t_.size(); ++i) {
            if (t_[i] != kUnknown) continue;
            if (n > 3) {
                t_[i] = kTinyInt;
                continue;
            }
            t_[i] = kBinary;
            while (i + 1 < t_.size() && t_[i + 1] == kUnknown) t_[++i] = 0;
        }
        return t_;
    }

private:
    static uint32_t U16(const Row &r, size_t at) { return r[at] | (r[at + 1] << 8u); }
    static uint32_t U32(const Row &r, size_t at) { return U16(r, at) | (U16(r, at + 2) << 16u); }

    // Row byte of fixed-area position i.
    template <class Test> bool AllRows(size_t i, Test test) const {
        for (const Row *r : rows_)
            if (!test(*r, 2 + i)) return false;
        return true;
    }
    template <class Test> bool SomeRow(Test test) const {
        for (const Row *r : rows_)
            if (test(*r)) return true;
        return false;
    }
    bool SmallHighByte(size_t high) const {
        size_t small = 0;
        for (const Row *r : rows_) small += (*r)[2 + high] < 16;
        return static_cast<double>(small) > 0.3 * static_cast<double>(rows_.size());
    }
    // Every run of `width` unknown positions that `fits` starts a field of
    // `type`; the positions after its start continue it.
    template <class Fits> void Mark(size_t width, uint8_t type, Fits fits) {
        for (size_t i = 0; i + width <= t_.size(); ++i) {
            if (!std::all_of(t_.begin() + static_cast<std::ptrdiff_t>(i),
                             t_.begin() + static_cast<std::ptrdiff_t>(i + width),
                             [](uint8_t v) { return v == kUnknown; }))
                continue;
            if (!fits(i)) continue;
            t_[i] = type;
            std::fill(t_.begin() + static_cast<std::ptrdiff_t>(i + 1),
                      t_.begin() + static_cast<std::ptrdiff_t>(i + width), 0);
            i += width - 1;
        }
    }

    const std::vector<const Row *> &rows_;
    std::vector<uint8_t> t_;
};

int TypeWidth(uint8_t type, int span) {
    switch (type) {
    case kTinyInt: return 1;
    case kSmallInt: return 2;
    case kInt: case kSmallDateTime: return 4;
    case kDateTime: return 8;
    default: return span; // char and binary take the whole run
    }
}

} // namespace

std::vector<GuessedField> GuessFieldLayout(const std::vector<Row> &all_rows, int firoff, DumpFormat format) {
    std::vector<GuessedField> fields;
    if (firoff < 2) return fields;
    std::vector<const Row *> rows;
    for (const Row &r : all_rows)
        if (r.size() >= static_cast<size_t>(firoff)) rows.push_back(&r);
    if (rows.empty()) return fields;

    // Fixed area: a field starts at every position with a code, and at
    // position 0 even when the first bytes continue nothing.
    const std::vector<uint8_t> t = FixedArea(rows, firoff - 2).Classify();
    for (size_t i = 0; i < t.size();) {
        size_t end = i + 1;
        while (end < t.size() && t[end] == 0) ++end;
        const uint8_t type = t[i] == 0 ? kBinary : t[i];
        const int span = static_cast<int>(end - i);
        const int width = std::min(span, TypeWidth(type, span));
        fields.push_back({type, static_cast<int16_t>(width), false});
        if (width < span) fields.push_back({kBinary, static_cast<int16_t>(span - width), false});
        i = end;
    }

    // Variable area: as many columns as the sampled rows store at most.
    int columns = 0;
    for (const Row *r : rows) columns = std::max<int>(columns, (*r)[0]);
    for (int c = 0; c < columns; ++c) {
        const uint8_t type = ClassifyVariable(rows, firoff, c, format);
        // The declared length must hold what unsampled rows store too.
        const int16_t length = type == kText ? 10 : type == kSysname ? 30 : type == kTimestamp ? 8 : 255;
        fields.push_back({type, length, true});
    }
    return fields;
}
