// A decoded row: each column's value as stored, before any output format
// has made text of it, and the sink that makes text of it.
//
// The row reader cuts a row into values and decides what damage costs (a
// value whose bytes lie beyond its area is lost, and counted); a sink
// writes the values in its own language: T-SQL literals, COPY text, CSV
// fields. Text, image and unitext values are pointers to chains of their
// own, which the sink streams through the reader (RowReader::ReadChain).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "vrndll/rows/RowLayout.h"

class RowReader;

struct RowValue {
    enum class State {
        kAbsent, // a variable-length column the row does not store: NULL
        kLost,   // its bytes lie beyond the row's area: written as NULL, counted
        kStored, // `bytes` holds `length` stored bytes
    };
    const RowColumn *column = nullptr;
    State state = State::kAbsent;
    const uint8_t *bytes = nullptr;
    int32_t length = 0;
    bool fixed_area = false; // stored in the fixed-length area
};

// One row: the values of the fixed columns, then of the variable columns,
// in the layout's order (RowLayout::fixed, then RowLayout::variable); a
// variable column beyond those the row stores is kAbsent.
struct DecodedRow {
    const RowLayout *layout = nullptr;
    const RowValue *values = nullptr;
    size_t count = 0;
    int32_t page = 0;
    int row_number = 0;
};

class RowSink {
public:
    virtual ~RowSink() = default;
    // Appends the row to `out`. 0; -1000 when a chain read was cancelled
    // (nothing of the row stays in `out`).
    virtual int WriteRow(std::string &out, const DecodedRow &row, RowReader &reader) = 0;
    // Closes the rows of one page in `out`.
    virtual void EndPage(std::string &out) = 0;
};
