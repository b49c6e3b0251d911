// The script of a database's foreign keys, foreign_keys.sql, loaded after
// every data script.
//
// A foreign key in its table's script would be made before the table it
// references exists whenever the referencing table comes first (a lower
// object id), and once made the server checks every row loaded after it,
// so rows of a child table loaded before their parents' rows would be
// refused. So the keys wait until every table exists and every row is in.
// The tables' keys come in reference order: a table's keys after the keys
// of the tables it references (a cycle is broken where it closes, in object
// order), each table's keys in catalogue order.
//
// With table patterns, a key from a selected table to a table that is not
// selected would name a table the scripts never make: it is left out and
// named to the host.
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "vrndll/call/AssertionSites.h"
#include "Common/logger/logger.h"
#include "vrndll/output/PrintableName.h"
#include "vrndll/VRNRecover.h"

namespace {

// Script name (a file stem, mapped like every other name).
const char kScriptName[] = "foreign_keys";

} // namespace

std::vector<uint32_t> VRNRecover::ForeignKeyOrder() {
    const KeyStatements &keys = Keys();
    const uint32_t objects = parser->object_count();
    // The scripted tables, by id (the first entry of an id).
    std::unordered_map<int32_t, uint32_t> tables;
    std::vector<uint32_t> in_order;
    for (uint32_t j = 0; j < objects; ++j) {
        const SysobjEntry &t = parser->pSysobj[j];
        if (!Wanted(t) || t.first_field == -1) continue;
        if (tables.emplace(t.id, j).second) in_order.push_back(j);
    }
    std::sort(in_order.begin(), in_order.end(),
              [this](uint32_t a, uint32_t b) { return parser->pSysobj[a].id < parser->pSysobj[b].id; });

    // Depth first over the references, without recursion: a table is put
    // out once every table it references has been.
    std::vector<uint32_t> order;
    std::unordered_set<int32_t> seen;
    struct Step {
        int32_t id;
        std::vector<int32_t> refs;
        size_t next;
    };
    std::vector<Step> stack;
    for (uint32_t root : in_order) {
        const int32_t root_id = parser->pSysobj[root].id;
        if (!seen.insert(root_id).second) continue;
        stack.push_back({root_id, keys.ReferencedTables(root_id), 0});
        while (!stack.empty()) {
            Step &top = stack.back();
            if (top.next < top.refs.size()) {
                const int32_t ref = top.refs[top.next++];
                if (tables.count(ref) != 0 && seen.insert(ref).second)
                    stack.push_back({ref, keys.ReferencedTables(ref), 0});
                continue;
            }
            order.push_back(tables[top.id]);
            stack.pop_back();
        }
    }
    return order;
}

int VRNRecover::WriteForeignKeys() {
    try {
        const KeyStatements &keys = Keys();
        const std::vector<uint32_t> order = ForeignKeyOrder();
        std::unordered_set<int32_t> selected;
        for (uint32_t j : order) selected.insert(parser->pSysobj[j].id);
        // Without patterns a key to a table the catalogue lacks is kept (its
        // statement names the stand-in, as before); with them only selected
        // tables are referenced.
        std::function<bool(int32_t)> keep;
        if (!options.table_patterns.empty())
            keep = [&selected](int32_t id) { return selected.count(id) != 0; };

        std::string text;
        std::vector<std::string> left_out;
        for (uint32_t j : order) text += keys.ForeignKeyText(parser->pSysobj[j], keep, &left_out);
        for (const std::string &l : left_out) {
            const std::string what = PrintableName(l);
            TheLogger().InfoText("Foreign key left out: it references a table outside the selection", what.c_str());
            Note(current_database_ + ": foreign key " + what + " left out (the referenced table is not selected)");
        }
        if (text.empty()) return kOk;
        text += "\n";
        int rc = outfiles.OpenScript(kScriptName, 0);
        if (IsStop(rc)) return rc;
        // A numbered series that ended on a full script has its next number
        // pending: it belongs to the rows, not to this script.
        outfiles.rows_in_part = 0;
        rc = outfiles.write_file(text.c_str(), 0);
        return IsStop(rc) ? rc : kOk;
    } catch (...) {
        LogAssertion(sites::kWriteForeignKeys);
        return kFailed;
    }
}
