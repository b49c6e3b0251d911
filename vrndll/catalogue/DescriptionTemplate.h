// A table description file read back as a template.
//
// A template is read once per recovery, before anything is written, from
// start to end and never held whole: only the sections that describe tables
// and fields ([table_<t>], [field_<f>], [Total]) are kept, each as the few
// values row decoding needs, so the memory taken follows what the file
// describes, not its size. A file that cannot serve as a template is refused
// with the reason, naming the file: one that cannot be opened (missing, a
// folder, a device or pipe), one larger than kMaxTemplateBytes, one without
// [Total], one that names no table, one whose counts its size cannot hold.
//
// Within the file the first [section] of a name counts and, in it, the first
// line of a key, as when the system reads it key by key.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct RecoveryOptions;

// Upper bounds on the counts read from a description file.
constexpr int kMaxDescribedTables = 16384;
constexpr int kMaxDescribedFields = 1048576;
// The fewest bytes a section takes: its header line, "[field_0]\n".
constexpr uint64_t kMinSectionBytes = 10;

// Largest template read: far beyond the description of any real database
// (a field takes about 130 bytes, so this is some 500,000 fields).
constexpr uint64_t kMaxTemplateBytes = 64u << 20;

// One [table_<t>] section; missing keys keep these defaults.
struct DescribedTable {
    std::string name = "none";
    int32_t type = 0;
    int32_t rec_len = 0;
    int32_t ordinal = 0; // id_num
};

// One [field_<f>] section; missing keys keep these defaults.
struct DescribedField {
    std::string name = "none";
    int32_t begin_fl = 0;
    int32_t col_byte = -10;
    int32_t col_num = -10;
    int32_t null_fl = -10;
    int32_t rec_len = -10;
    int32_t type = -10;
    int32_t ordinal = -10; // id_num
};

class DescriptionTemplate {
public:
    // Reads the template at `path`. Null with `why` set ("the template
    // '<path>' ...") when it cannot serve.
    static std::shared_ptr<const DescriptionTemplate> Read(const std::string &path, std::string &why);

    const std::string &path() const { return path_; }
    // tab_count tables and col_count fields, in section order.
    const std::vector<DescribedTable> &tables() const { return tables_; }
    const std::vector<DescribedField> &fields() const { return fields_; }

private:
    std::string path_;
    std::vector<DescribedTable> tables_;
    std::vector<DescribedField> fields_;
};

// The template a recovery decodes with, decided once before anything is
// written: the file the host named (TemplateMode::kFile), or int0.ini in the
// dump's folder `source_folder` when a file of that name is there
// (kAuto), read at once; none for kOff, or kAuto without such a file.
// False, with `why`, when the template to use cannot serve.
bool ChooseDescriptionTemplate(const RecoveryOptions &options, const std::string &source_folder,
                               std::shared_ptr<const DescriptionTemplate> &chosen, std::string &why);
