// The script of a database's compiled objects: the stored text of every
// view, procedure, trigger, default and rule, in the order the objects were
// made (their ids ascending), each closed by one "GO". It is opened after
// the table scripts and before the data scripts, so commit.bat makes the
// objects once the tables they name exist and before the rows come in
// (a trigger does not fire on the load). No script is written for a
// database without object texts.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "Common/logger/logger.h"
#include "vrndll/ClientSafeText.h"
#include "vrndll/VRNRecover.h"

namespace {

// Script name (a file stem, mapped like every other name).
const char kScriptName[] = "compiled_objects";

// Object types whose text makes the object: view, procedure, trigger,
// default, rule.
bool IsCompiledObject(char type) {
    return type == 'V' || type == 'P' || type == 'T' || type == 'D' || type == 'R';
}

} // namespace

int VRNRecover::WriteObjectTexts() {
    try {
        std::vector<ObjectText> texts;
        int rc = parser->ReadObjectTexts(texts);
        if (rc == kCancelled) return rc;

        std::unordered_map<int32_t, const SysobjEntry *> objects;
        const uint32_t count = std::min<uint32_t>(parser->iSysobj, static_cast<uint32_t>(parser->pSysobj.size()));
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
        if (wanted.empty()) return kOk;
        std::stable_sort(wanted.begin(), wanted.end(),
                         [](const auto &a, const auto &b) { return a.first->id < b.first->id; });

        rc = outfiles.OpenScript(kScriptName, 0);
        if (rc == kScriptNotCreated) {
            script_losses_[kObjectTextsEntry].scripts_not_created += 1;
            return kOk;
        }
        if (IsStop(rc)) return rc;
        for (const auto &w : wanted) {
            const std::string name(w.first->name, strnlen(w.first->name, sizeof w.first->name));
            int changed = 0;
            std::string text = ClientSafeText(w.second->text, &changed);
            if (changed > 0)
                TheLogger().ErrorFormat("Text of %s: %i lines began with a client command and were written after an empty comment",
                                        name.c_str(), changed);
            if (!text.empty() && text.back() != '\n') text += '\n';
            text += "GO\n";
            rc = outfiles.write_file(text.c_str(), 0);
            if (IsStop(rc)) return rc;
        }
        TheLogger().InfoFormat("Texts of %lu compiled objects written", static_cast<unsigned long>(wanted.size()));
        return kOk;
    } catch (...) {
        TheLogger().AssertFailed("!\"Error in WriteObjectTexts\"", "vrndll/VRNRecover", 0);
        return kFailed;
    }
}
