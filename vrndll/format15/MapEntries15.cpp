// Map entries of format-15 dumps: the entries that name a row by its page
// and its row number.
//
// A map page holds fixed-size entries (the object index: 12 bytes and a
// key) from a first body offset on. Each reader takes entry *k of the map
// page in `bl`: an entry marked deleted by its status is passed over, so
// *k ends on the entry used. An entry is read only when it lies whole
// inside the record area; the first one that does not ends the page.
//
// | map            | first | size          | page | row | status | deleted   |
// | object index   | 12    | 12 + key (11) | 5    | 9   | 10     | 16        |
// | name index     | 13    | 17            | 10   | 14  | 15     | 16, 48    |
// | column map     | 21    | 15            | 0    | 4   | 5      | 16, 48    |
// | index map      | 12    | 13            | 7    | 11  | 12     | 16        |
// | foreign keys   | 12    | 12            | 5    | 9   | 10     | 16        |
#include <cstring>
#include <string>

#include "Common/logger/logger.h"
#include "vrndll/VRNParser15.h"

namespace {

struct EntryForm {
    int first;       // body offset of entry 0
    int size;        // bytes of an entry (the object index adds its key)
    int key_length;  // offset of the key length byte, -1: no key
    int page_at;
    int row_at;
    int status_at;
    uint8_t deleted; // status of a deleted entry
    uint8_t deleted_too; // a second one (0: none)
    int marker_at;   // offset of a byte that must be 255, -1: none
};

const EntryForm kObjectIndex{12, 12, 11, 5, 9, 10, 16, 0, -1};
const EntryForm kNameIndex{13, 17, -1, 10, 14, 15, 16, 48, -1};
const EntryForm kColumnMap{21, 15, -1, 0, 4, 5, 16, 48, -1};
const EntryForm kIndexMap{12, 13, -1, 7, 11, 12, 16, 0, -1};
const EntryForm kForeignKeyMap{12, 12, -1, 5, 9, 10, 16, 0, 11};

// Finds entry *k of the map page in `bl`, passing over deleted entries.
// Returns the entry's first byte, or null when no whole entry is left.
const uint8_t *FindEntry(const BlockReader &bl, const EntryForm &form, int *k) {
    if (*k < 0) return nullptr;
    const int area = bl.RecordAreaLength();
    const uint8_t *body = bl.data.data();
    int at = form.first;
    for (int n = 0;; ++n) {
        if (at < 0 || at + form.size > area) return nullptr;
        const int size = form.key_length < 0 ? form.size : form.size + body[at + form.key_length];
        if (at + size > area) return nullptr;
        if (form.marker_at >= 0 && body[at + form.marker_at] != 255) return nullptr;
        if (n >= *k) {
            const uint8_t status = body[at + form.status_at];
            if (status != form.deleted && (form.deleted_too == 0 || status != form.deleted_too)) {
                *k = n;
                return body + at;
            }
        }
        at += size;
    }
}

int Take(const BlockReader &bl, const EntryForm &form, int *k, int *page, int *row, const uint8_t **entry) {
    if (k == nullptr) return 0;
    const uint8_t *e = FindEntry(bl, form, k);
    if (entry) *entry = e;
    if (e == nullptr) return 0;
    if (page) *page = ReadInt32(e + form.page_at);
    if (row) *row = e[form.row_at];
    return 1;
}

} // namespace

int VRNParser15::GetOneSysobjectBlockAndRecNum(int *k, int *page, int *row) {
    int p = 0, r = 0;
    const uint8_t *e = nullptr;
    if (!Take(bl, kObjectIndex, k, &p, &r, &e)) return 0;
    const std::string name(reinterpret_cast<const char *>(e + 12), e[11]);
    TheLogger().InfoFormat("GetOneSysobjectBlockAndRecNum %s , rec num - %u, block %u", name.c_str(),
                           static_cast<unsigned>(r), static_cast<unsigned>(p));
    if (page) *page = p;
    if (row) *row = r;
    return p != 0 ? 1 : 0;
}

int VRNParser15::GetOnePageAndRecNum(int *k, int *page, int *row) {
    TheLogger().Info("parser15::GetOnePageAndRecNum");
    int p = 0, r = 0;
    if (!Take(bl, kNameIndex, k, &p, &r, nullptr)) return 0;
    TheLogger().InfoFormat("GetOnePageAndRecNum - rec num - %u, block %u", static_cast<unsigned>(r),
                           static_cast<unsigned>(p));
    if (page) *page = p;
    if (row) *row = r;
    return 1;
}

int VRNParser15::GetOneFieldBlockAndRecNum(int *k, int *page, int *row) {
    TheLogger().Info("parser15::GetOneFieldBlockAndRecNum");
    int p = 0, r = 0;
    if (!Take(bl, kColumnMap, k, &p, &r, nullptr)) return 0;
    TheLogger().InfoFormat("GetOneFieldBlockAndRecNum - rec num - %u, block %u", static_cast<unsigned>(r),
                           static_cast<unsigned>(p));
    if (page) *page = p;
    if (row) *row = r;
    return 1;
}

int VRNParser15::GetOneIndexBlockAndRecNum(int *k, int *page, int *row, int32_t *tab_id, int *index_id) {
    int p = 0, r = 0;
    const uint8_t *e = nullptr;
    if (!Take(bl, kIndexMap, k, &p, &r, &e)) return 0;
    TheLogger().InfoFormat("GetOneIndexBlockAndRecNum - rec num - %u, block %u", static_cast<unsigned>(r),
                           static_cast<unsigned>(p));
    if (page) *page = p;
    if (row) *row = r;
    if (tab_id) *tab_id = ReadInt32(e + 1);
    if (index_id) *index_id = e[5];
    return 1;
}

int VRNParser15::GetOneIndexBlockAndRecNum(int *k, int *page, int *row, int32_t *fkey_id) {
    int p = 0, r = 0;
    const uint8_t *e = nullptr;
    if (!Take(bl, kForeignKeyMap, k, &p, &r, &e)) return 0;
    const int32_t id = ReadInt32(e + 1);
    TheLogger().InfoFormat("GetOneIndexBlockAndRecNum - rec num - %u, block %u, fkeyId - %u",
                           static_cast<unsigned>(r), static_cast<unsigned>(p), static_cast<unsigned>(id));
    if (page) *page = p;
    if (row) *row = r;
    if (fkey_id) *fkey_id = id;
    return 1;
}
