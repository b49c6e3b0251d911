#include "vrndll/call/AssertionSites.h"
#include "vrndll/catalogue/ObjectTexts.h"

#include <algorithm>

#include "Common/logger/logger.h"
#include "vrndll/pages/PageChain.h"
#include "vrndll/pages/RecordCursor.h"
#include "vrndll/VRNParser.h"
#include "vrndll/VRNParser12.h"
#include "vrndll/VRNParser15.h"

std::vector<ObjectText> TextPiecesOfPage(const BlockReader &reader, int32_t page) {
    std::vector<ObjectText> pieces;
    RecordLayout layout;
    layout.length_at = reader.firoff;
    layout.min_length = kTextRowOverhead;
    RecordCursor rows(reader.data.data(), reader.RecordAreaLength(), page, layout, "the object texts");
    while (rows.Next()) {
        const uint8_t *row = rows.record();
        ObjectText piece;
        piece.object = ReadInt32(row + 4);
        const int n = rows.length() - kTextRowOverhead;
        piece.text.assign(reinterpret_cast<const char *>(row + kTextPieceAt), static_cast<size_t>(n));
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

void JoinTextPiece(std::vector<ObjectText> &texts, std::unordered_map<int32_t, size_t> &index,
                   const ObjectText &piece) {
    const auto found = index.emplace(piece.object, texts.size());
    if (found.second)
        texts.push_back(piece);
    else
        texts[found.first->second].text += piece.text;
}

namespace {

// The most text the objects of one database are taken to hold: a chain
// longer than that is damage, and memory stays bounded whatever it says.
constexpr size_t kMostTextBytes = 64u * 1024u * 1024u;

int64_t PagesOfDump(const VRNParser &p) {
    if (p.VRN_bl_count > 0) return p.VRN_bl_count;
    return static_cast<int64_t>(p.bl.DumpSize() / (static_cast<uint64_t>(p.bl.kb) * 1024u)) + 1;
}

} // namespace

int VRNParser::ReadObjectTexts(std::vector<ObjectText> &texts) {
    texts.clear();
    if (first_text_block == -1) return kOk;
    std::unordered_map<int32_t, size_t> index;
    size_t held = 0;
    PageChain walk(bl, first_text_block, "the object texts", PagesOfDump(*this));
    while (walk.Next()) {
        if (bl.type != kObjectTexts) {
            TheLogger().ErrorFormat("Object texts stop at page %ld: the page belongs to object %ld",
                                    static_cast<long>(walk.page()), static_cast<long>(bl.type));
            break;
        }
        for (const ObjectText &piece : TextPiecesOfPage(bl, walk.page())) {
            held += piece.text.size();
            if (held > kMostTextBytes) {
                TheLogger().ErrorFormat("Object texts stop at page %ld: they would hold more than %lu bytes",
                                        static_cast<long>(walk.page()), static_cast<unsigned long>(kMostTextBytes));
                return kOk;
            }
            JoinTextPiece(texts, index, piece);
        }
    }
    if (walk.stop() == ChainStop::kCancelled) return kCancelled;
    return kOk;
}

int VRNParser::ObjectTextPage(std::string &out, int32_t *block, uint32_t *object, const AssertionSite &site) {
    try {
        if (block == nullptr) return kFailed;
        int32_t page = *block;
        if (page == -1) {
            text_walk.reset();
            text_object_open = false;
            if (first_text_block == -1) {
                *block = 0;
                return kOk;
            }
            page = first_text_block;
        }
        if (!text_walk) text_walk.emplace(bl, 0, "the object texts", PagesOfDump(*this));
        *block = 0;
        // The pieces of one object are joined, and one "GO" closes each
        // object: after its last piece, where the next object begins or the
        // chain ends.
        const auto close_object = [&](std::string &text) {
            if (text_object_open) text += "\nGO\n";
            text_object_open = false;
        };
        if (!text_walk->Step(page) || bl.type != kObjectTexts) {
            const ChainStop stop = text_walk->stop();
            if (stop == ChainStop::kCancelled) return kCancelled;
            out.clear();
            close_object(out);
            if (stop == ChainStop::kUnreadable) return kFailed;
            return kOk;
        }
        std::string text;
        for (const ObjectText &piece : TextPiecesOfPage(bl, page)) {
            const bool next_object = !text_object_open || piece.object != text_object;
            if (text_object_open && piece.object != text_object) close_object(text);
            text += piece.text;
            text_object = piece.object;
            text_object_open = true;
            if (object && next_object) {
                const uint32_t objects = object_count();
                for (uint32_t k = 0; k < objects; ++k)
                    if (pSysobj[k].id == piece.object) {
                        *object = k;
                        break;
                    }
            }
        }
        *block = bl.next_id;
        if (*block == 0) close_object(text);
        out = std::move(text);
        return kOk;
    } catch (...) {
        LogAssertion(site);
        if (block && *block > 0) bl.bl_log(*block);
        if (block) *block = 0;
        return kFailed;
    }
}


int VRNParser12::GetOneView(std::string &out, int32_t *block, uint32_t *object) {
    return ObjectTextPage(out, block, object, sites::kGetOneView12);
}

int VRNParser15::GetOneView(std::string &out, int32_t *block, uint32_t *object) {
    return ObjectTextPage(out, block, object, sites::kGetOneView15);
}
