// The table description file int0.ini: the user tables of a database and
// their fields, with the layout values row decoding needs.
//
// After each database read from the dump, the file is written into the
// target folder. When a recovery finds such a file next to the dump, it runs
// in template mode: tables and fields come from the file and are attached to
// the dump's object ids by comparing creation orders, so a dump whose
// catalogue is damaged can still be decoded with the layouts of a good one.
//
// Creation order: the server hands out object ids by adding 16000057 to the
// previous id modulo 2^31. The ordinal of an id is its number of steps from
// the oldest id found among the dump's object ids.
//
//   [table_<t>]  name, type, rec_len, id_num        t = 0, 1, ... (writing order)
//   [field_<f>]  name, begin_fl, col_byte, col_num, null_fl, rec_len, id, type, id_num
//   [Total]      tab_count, col_count
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vrndll/catalogue/DescriptionTemplate.h"
#include "vrndll/VRNParser.h"

// Step between two consecutive object ids, and the id space it wraps in.
constexpr uint32_t kObjectIdStep = 16000057u;
constexpr uint32_t kObjectIdModulus = 0x80000000u;
// Ordinal of an id the forward walk did not reach; written as "id_num=-1"
// and never matched.
constexpr int32_t kNoOrdinal = -1;
// A field that no table of the dump owns carries this tab_id (no table id,
// not even the 0 of an unmatched table, equals it).
constexpr int32_t kNoOwnerTable = -1;

class TableDescriptionFile {
public:
    explicit TableDescriptionFile(VRNParser *parser) : parser_(parser) {}

    // Looks for int<number>.ini in source_folder. Found: keeps its path and
    // returns true (template mode). Otherwise keeps the path of the same
    // name in target_folder and returns false.
    bool LocateDescription(const std::string &source_folder, const std::string &target_folder,
                           int number);
    // Replaces the file at the path with the parser's user tables and their
    // fields. 0, or -5 when the file could not be written.
    int WriteDescription();
    // Installs the file's tables and fields as the parser's catalogue and
    // attaches them to the dump's object ids. Changes nothing when the dump
    // has no object ids. Returns kOk, or kNoCatalogue without changing
    // anything when the file cannot serve as a template (DescriptionTemplate).
    int LoadDescription();
    // The same with a template read already (read once, used for every
    // database). kOk.
    int LoadDescription(const DescriptionTemplate &described);
    // Sorts the parser's obj_ids ascending (unsigned) and returns their
    // creation ordinals in the same order; empty when there are no ids.
    std::vector<int32_t> CreationOrder();

    const std::string &path() const { return path_; }
    // Uses the file at `path` (a template named by the host).
    void UsePath(const std::string &path) { path_ = path; }

private:
    // Ordinal of `id` among the sorted obj_ids, kNoOrdinal when absent.
    int32_t OrdinalOf(int32_t id, const std::vector<int32_t> &ordinals) const;

    VRNParser *parser_; // borrowed
    std::string path_;
};

// Positions of the described tables matched to the dump's ids, in creation
// order: result[k] is the table index given dump id k. `dump` and `tables`
// are creation ordinals sorted ascending. Exposed for tests.
std::vector<int> MatchByOrdinalGaps(const std::vector<int32_t> &dump,
                                    const std::vector<int32_t> &tables);
