#include "tests/support/dump_description.h"

#include <cstdlib>
#include <sstream>
#include <vector>

namespace dumpwriter {

namespace {

bool ToInt(const std::string &word, long long low, long long high, long long &value) {
    if (word.empty()) return false;
    char *end = nullptr;
    value = std::strtoll(word.c_str(), &end, 10);
    return *end == '\0' && value >= low && value <= high;
}

} // namespace

std::unique_ptr<Dump> ReadDescription(std::istream &in, std::string &error) {
    struct Pending {
        std::string keyword;
        std::vector<std::string> args;
        int line;
    };
    // The block size may come after other lines, so the statements are
    // collected first and applied once it is known.
    std::vector<Pending> statements;
    int kb = 2;
    std::string text;
    int line_no = 0;
    while (std::getline(in, text)) {
        ++line_no;
        const auto hash = text.find('#');
        if (hash != std::string::npos) text.erase(hash);
        std::istringstream words(text);
        Pending p{"", {}, line_no};
        if (!(words >> p.keyword)) continue;
        for (std::string w; words >> w;) p.args.push_back(w);
        if (p.keyword == "block_size") {
            long long v = 0;
            if (p.args.size() != 1 || !ToInt(p.args[0], 2, 32, v) || (v != 2 && v != 4 && v != 8 && v != 16 && v != 32)) {
                error = "line " + std::to_string(line_no) + ": block_size takes 2, 4, 8, 16 or 32";
                return nullptr;
            }
            kb = static_cast<int>(v);
            continue;
        }
        statements.push_back(p);
    }

    std::unique_ptr<Dump> dump(new Dump(kb));
    Database *current = nullptr;
    for (const Pending &p : statements) {
        auto fail = [&](const std::string &message) {
            error = "line " + std::to_string(p.line) + ": " + message;
            return nullptr;
        };
        auto needs = [&](size_t n) { return p.args.size() == n; };
        long long a = 0, b = 0;
        if (p.keyword == "device") {
            if (!needs(1)) return fail("device takes a name");
            dump->master_device(p.args[0]);
        } else if (p.keyword == "database") {
            if (!needs(3) || !ToInt(p.args[1], -32768, 32767, a) || !ToInt(p.args[2], 0, 2000000, b))
                return fail("database takes a name, a dbid and a base in MiB");
            current = &dump->database(p.args[0], static_cast<int16_t>(a), static_cast<int32_t>(b));
        } else if (current == nullptr) {
            return fail("'" + p.keyword + "' before the first database line");
        } else if (p.keyword == "table") {
            if (!needs(2) || !ToInt(p.args[0], INT32_MIN, INT32_MAX, a))
                return fail("table takes an id and a name");
            current->table(static_cast<int32_t>(a), p.args[1]);
        } else if (p.keyword == "object") {
            if (!needs(3) || !ToInt(p.args[0], INT32_MIN, INT32_MAX, a) || p.args[1].size() != 1)
                return fail("object takes an id, a type letter and a name");
            current->object(static_cast<int32_t>(a), p.args[1][0], p.args[2]);
        } else if (p.keyword == "catalogue_per_page") {
            if (!needs(1) || !ToInt(p.args[0], 1, 1000000, a)) return fail("catalogue_per_page takes a count");
            current->catalogue_options(static_cast<int>(a));
        } else if (p.keyword == "no_usage") {
            if (!needs(0)) return fail("no_usage takes nothing");
            current->without_usage();
        } else if (p.keyword == "start_page") {
            if (!needs(1) || !ToInt(p.args[0], INT32_MIN, INT32_MAX, a)) return fail("start_page takes a page");
            current->usage_start_page(static_cast<int32_t>(a));
        } else if (p.keyword == "unlisted") {
            if (!needs(0)) return fail("unlisted takes nothing");
            current->unlisted();
        } else {
            return fail("unknown statement '" + p.keyword + "'");
        }
    }
    return dump;
}

} // namespace dumpwriter
