// The names taken in one output folder, and a free name for each new file.
//
// Names are compared folded (FoldFileNameCase): two names Windows takes for
// one file are one claim. A name already taken is kept apart with a suffix
// "-2", "-3", ... ('-' and digits: never the "~<digit>" of a short name,
// never a part number), tried from where the last search for the same name
// stopped, so suffixes never run out and a claim costs constant time on
// average whatever the number of names that meet.
//
// Two kinds of claims share a folder's names: a plain name ("orders" for
// orders.sql), and a numbered series ("orders" for orders_1.sql,
// orders_2.sql, ...), whose parts are claimed one by one as they are made.
// A part that meets a plain name gets a suffix of its own ("orders_2-2").
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

class FileNameClaims {
public:
    // Forgets every claim.
    void Clear();
    // Claims `wanted`, or when it is taken the first free "<wanted>-<n>".
    // Returns the name claimed.
    std::string ClaimPlain(const std::string &wanted);
    // Claims the stem of a new numbered series: `wanted`, or when another
    // series has that stem the first free "<wanted>-<n>".
    std::string ClaimSeries(const std::string &wanted);
    // Claims part `part` (1, 2, ... in order) of the series `series` (a
    // stem ClaimSeries returned): "<series>_<part>", or when a plain name
    // holds that the first free "<series>_<part>-<n>".
    std::string ClaimPart(const std::string &series, int32_t part);
    // True when `name` is taken, as a plain name or a part of a series.
    bool IsTaken(const std::string &name) const;

private:
    bool IsTakenFolded(const std::string &folded) const;
    // The suffix "-<n>" of the first "<folded>-<n>" that `taken` refuses
    // not, n from where the last search for `folded` in `next` ended.
    template <typename Taken>
    static std::string FirstFree(const std::string &folded, std::unordered_map<std::string, uint64_t> &next,
                                 const Taken &taken);

    std::unordered_set<std::string> plain_; // folded plain names
    // Folded series stem -> highest part claimed (every part up to it is
    // made or redirected).
    std::unordered_map<std::string, int32_t> series_;
    // Folded wanted name -> the next suffix number to try.
    std::unordered_map<std::string, uint64_t> next_plain_;
    std::unordered_map<std::string, uint64_t> next_series_;
};
