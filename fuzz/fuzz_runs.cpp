#include "fuzz/fuzz_runs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/platform.h"
#include "tests/support/temp_folder.h"
#include "vrndll/sql/CharLiteral.h"
#include "vrndll/sql/DateFormat.h"
#include "vrndll/sql/UniCharLiteral.h"
#include "vrndll/VRNParser12.h"
#include "vrndll/VRNParser15.h"
#include "vrndll/VRNRecover.h"
#include "vrndll/sql/ValueFormat.h"

namespace fuzzruns {

std::vector<uint8_t> WithTemplate(const std::string &ini, const std::vector<uint8_t> &dump) {
    std::vector<uint8_t> input(kTemplateMagic, kTemplateMagic + kTemplateMagicSize);
    const uint32_t n = static_cast<uint32_t>(ini.size());
    for (int i = 0; i < 4; ++i) input.push_back(static_cast<uint8_t>(n >> (8 * i)));
    input.insert(input.end(), ini.begin(), ini.end());
    input.insert(input.end(), dump.begin(), dump.end());
    return input;
}

namespace {

// The description file an input carries, written beside the dump for one
// run and removed after it.
class TemplateBesideTheDump {
public:
    TemplateBesideTheDump(const uint8_t *&data, size_t &size, const std::string &source_folder) {
        if (size < kTemplateMagicSize + 4 || std::memcmp(data, kTemplateMagic, kTemplateMagicSize) != 0) return;
        const uint8_t *n = data + kTemplateMagicSize;
        const size_t length = std::min<size_t>(
            size - kTemplateMagicSize - 4,
            static_cast<size_t>(n[0] | (n[1] << 8) | (n[2] << 16) | (static_cast<uint32_t>(n[3]) << 24)));
        path_ = source_folder + "int0.ini";
        platform::File file = platform::File::createAlways(path_);
        if (file.isOpen()) file.write(n + 4, length);
        data = n + 4 + length;
        size -= kTemplateMagicSize + 4 + length;
    }
    ~TemplateBesideTheDump() {
        if (!path_.empty()) platform::deleteFile(path_);
    }
    TemplateBesideTheDump(const TemplateBesideTheDump &) = delete;
    TemplateBesideTheDump &operator=(const TemplateBesideTheDump &) = delete;

private:
    std::string path_;
};

} // namespace

int RecoverFromMemory(const uint8_t *data, size_t size, const std::string &output_folder,
                      const std::string &source_folder) {
    TemplateBesideTheDump description(data, size, source_folder);
    platform::MemoryFile dump(std::vector<uint8_t>(data, data + size));
    const uint64_t bytes = size;
    const uint32_t low = static_cast<uint32_t>(bytes & 0xFFFFFFFFu);
    const uint32_t high = static_cast<uint32_t>(bytes >> 32);
    VRNRecover driver(&dump, 2, low, 0, output_folder.c_str(), low, high, source_folder.c_str());
    return driver.Recover();
}

std::vector<std::string> WrittenOutside(const std::string &root, const std::string &output_subfolder,
                                        const std::string &source_subfolder) {
    const std::string out = output_subfolder + "/";
    const std::string source = source_subfolder + "/";
    std::vector<std::string> stray;
    for (const std::string &entry : testsupport::ListTree(root))
        if (entry != source && entry.compare(0, out.size(), out) != 0) stray.push_back(entry);
    return stray;
}

bool DecodeRows(const RowInput &input) {
    std::vector<uint8_t> bytes(static_cast<size_t>(DataStart(input.kb)), 0);
    bytes.insert(bytes.end(), input.pages.begin(), input.pages.end());
    platform::MemoryFile file(std::move(bytes));
    const int64_t size = static_cast<int64_t>(file.size());
    std::unique_ptr<VRNParser> parser;
    if (input.format == DumpFormat::k15)
        parser = std::make_unique<VRNParser15>(&file, input.kb, size, 0);
    else
        parser = std::make_unique<VRNParser12>(&file, input.kb, size, 0);
    const int32_t blocks = static_cast<int32_t>(size / (input.kb * 1024));
    parser->VRN_bl_count = blocks;

    SysobjEntry table;
    table.id = kRowInputTable;
    table.type = 'U';
    std::strcpy(table.name, "t");
    table.name_len = 1;
    table.first_block = input.first_page;
    table.first_field = 0;
    parser->pSysobj.assign(1, table);
    parser->iSysobj = parser->this_obj = 1;
    parser->fields = ColumnEntries(input);
    const uint32_t columns = static_cast<uint32_t>(parser->fields.size());

    std::string text;
    int32_t block = -1;
    for (int32_t step = 0; step <= blocks + 2; ++step) {
        int32_t rows = 0;
        const int rc = parser->GetOneString(text, &block, 0, columns, &rows);
        if (rc != 0 || block == 0) return true;
        text.clear(); // the batch of a page is written out before the next
    }
    return false;
}

namespace {

// Type codes the writers know, and a few they do not.
const uint8_t kTypes[] = {1,  2,  3,  4,  5,  6,  7,  8,  10, 11, 12, 16, 18, 19, 20, 21, 22,
                          23, 24, 25, 26, 34, 35, 36, 37, 38, 42, 43, 44, 45, 46, 80, 0,  255};

} // namespace

void WriteEveryValue(const std::vector<uint8_t> &bytes) {
    const uint8_t *p = bytes.data();
    const size_t n = std::min<size_t>(bytes.size(), 512);
    std::string out;
    for (uint8_t type : kTypes) {
        const int scale = n > 0 ? p[0] : 0;
        for (size_t len : {size_t(0), std::min<size_t>(n, 1), std::min<size_t>(n, 4), std::min<size_t>(n, 8),
                           std::min<size_t>(n, 17), n}) {
            values::AppendValue(out, type, p, len, scale, false, true);
            // A column without NULL gets NULL only for a value whose bytes
            // are not there.
            const size_t start = out.size();
            values::ValueChange change = values::ValueChange::kNone;
            values::AppendValue(out, type, p, len, scale, true, false, &change);
            const int width = values::StoredWidth(type);
            if (width > 0 && !values::IsChainType(type) && len >= static_cast<size_t>(width) &&
                out.compare(start, std::string::npos, "NULL") == 0) {
                std::fprintf(stderr, "row_fuzzer: NULL written for type %d in a column without NULL\n", type);
                std::abort();
            }
            if (out.size() > (1u << 20)) out.clear();
        }
    }
    values::AppendUniChars(out, p, n);
    values::AppendQuotedChars(out, p, n);
    values::AppendNumeric(out, p, n, n > 1 ? p[1] : 0);
    // A character literal that arrives in pieces, as a text chain does.
    values::CharLiteralWriter writer(out);
    writer.Begin();
    for (size_t at = 0; at < n; at += 7) writer.Append(p + at, std::min<size_t>(7, n - at));
    writer.End();
    if (n >= 8) {
        int32_t day = 0, ticks = 0;
        std::memcpy(&day, p, 4);
        std::memcpy(&ticks, p + 4, 4);
        values::FormatDateTime(out, day, ticks);
        values::FormatSmallDateTime(out, day, ticks);
        values::FormatDate(out, day);
        values::FormatTime(out, ticks);
    }
}

} // namespace fuzzruns
