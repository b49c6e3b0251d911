// The texts of a database's compiled objects as a writer gets them: the
// stored text of every view, procedure, trigger, default and rule, in the
// order the objects were made (their ids ascending).
//
// With table patterns, an object whose text names a user table that is not
// selected (as a word, letter case aside) would not load, or would make a
// trigger on a table never made: it is left out and named to the host.
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "vrndll/call/AssertionSites.h"
#include "Common/logger/logger.h"
#include "vrndll/output/PrintableName.h"
#include "vrndll/VRNRecover.h"

namespace {

// Object types whose text makes the object: view, procedure, trigger,
// default, rule.
bool IsCompiledObject(char type) {
    return type == 'V' || type == 'P' || type == 'T' || type == 'D' || type == 'R';
}

std::string Folded(const std::string &word) {
    std::string folded = word;
    for (char &c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

bool IsWordByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '#' ||
           c == '@' || c == '$' || c >= 0x80;
}

// The first word of `text` that is in `names` (folded), or "" when none:
// one pass over the text.
std::string FirstNamedWord(const std::string &text, const std::unordered_set<std::string> &names) {
    size_t k = 0;
    while (k < text.size()) {
        if (text[k] == '[') {
            const size_t close = text.find(']', k + 1);
            const size_t end = close == std::string::npos ? text.size() : close;
            const std::string word = Folded(text.substr(k + 1, end - k - 1));
            if (names.count(word) != 0) return word;
            k = end + 1;
            continue;
        }
        if (!IsWordByte(static_cast<unsigned char>(text[k]))) {
            ++k;
            continue;
        }
        size_t end = k;
        while (end < text.size() && IsWordByte(static_cast<unsigned char>(text[end]))) ++end;
        const std::string word = Folded(text.substr(k, end - k));
        if (names.count(word) != 0) return word;
        k = end;
    }
    return std::string();
}

} // namespace

int VRNRecover::SelectObjectTexts(std::vector<ObjectTextEntry> &selected) {
    selected.clear();
    std::vector<ObjectText> texts;
    const int rc = parser->ReadObjectTexts(texts);
    if (rc == kCancelled) return rc;
    {

        std::unordered_map<int32_t, const SysobjEntry *> objects;
        const uint32_t count = parser->object_count();
        for (uint32_t k = 0; k < count; ++k) objects.emplace(parser->pSysobj[k].id, &parser->pSysobj[k]);
        std::vector<std::pair<const SysobjEntry *, const ObjectText *>> wanted;
        size_t unknown = 0;
        for (const ObjectText &t : texts) {
            const auto it = objects.find(t.object);
            if (it == objects.end() || !IsCompiledObject(it->second->type)) {
                if (unknown++ == 0)
                    TheLogger().ErrorFormat("Text of object %ld not written: the catalogue holds no view, procedure, "
                                            "trigger, default or rule of that id",
                                            static_cast<long>(t.object));
                continue;
            }
            wanted.emplace_back(it->second, &t);
        }
        if (unknown > 1)
            TheLogger().ErrorFormat("Texts of %lu objects not written: the catalogue holds no compiled object of their ids",
                                    static_cast<unsigned long>(unknown));
        // With table patterns: the user tables left out, by folded name.
        std::unordered_set<std::string> unselected;
        if (!options.table_patterns.empty()) {
            for (uint32_t k = 0; k < count; ++k) {
                const SysobjEntry &t = parser->pSysobj[k];
                if (!parser->IsScriptedTable(t) || Wanted(t)) continue;
                unselected.insert(Folded(std::string(t.name, strnlen(t.name, sizeof t.name))));
            }
        }
        if (!unselected.empty()) {
            std::vector<std::pair<const SysobjEntry *, const ObjectText *>> kept;
            for (const auto &w : wanted) {
                const std::string named = FirstNamedWord(w.second->text, unselected);
                if (named.empty()) {
                    kept.push_back(w);
                    continue;
                }
                const std::string name =
                    PrintableName(std::string(w.first->name, strnlen(w.first->name, sizeof w.first->name)));
                TheLogger().InfoFormat("Text of %s left out: it names table %s, which is not selected", name.c_str(),
                                       PrintableName(named).c_str());
                Note(current_database_ + ": object " + name + " left out (it names table " + PrintableName(named) +
                     ", which is not selected)");
            }
            wanted.swap(kept);
        }
        std::stable_sort(wanted.begin(), wanted.end(),
                         [](const auto &a, const auto &b) { return a.first->id < b.first->id; });
        for (const auto &w : wanted) {
            ObjectTextEntry entry;
            entry.name = std::string(w.first->name, strnlen(w.first->name, sizeof w.first->name));
            entry.type = w.first->type;
            entry.text = w.second->text;
            selected.push_back(std::move(entry));
        }
    }
    return kOk;
}
