// The values of one table written as NULL or other than stored, each with
// the data page and row it came from. The list is capped: a dump whose
// every value is damaged costs a bounded list and a count of the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct LostValue {
    int32_t page = 0; // data page of the row
    int32_t row = 0;  // row number on that page
    std::string column;
    bool as_null = false; // written as NULL; else written changed
    std::string why;
};

struct ValueLosses {
    static constexpr size_t kListed = 1000;
    std::vector<LostValue> listed;
    uint64_t unlisted = 0; // losses past kListed, counted only

    void Add(LostValue v) {
        if (listed.size() < kListed)
            listed.push_back(std::move(v));
        else
            unlisted += 1;
    }
    // Moves the entries of `o` here (o is left empty).
    void Take(ValueLosses &o) {
        for (LostValue &v : o.listed) Add(std::move(v));
        unlisted += o.unlisted;
        o.Clear();
    }
    void Clear() {
        listed.clear();
        unlisted = 0;
    }
};
