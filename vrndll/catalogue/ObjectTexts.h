// The stored text of views, procedures, triggers, defaults and rules: the
// rows of the object-text catalogue (object 6), a chain of pages from
// first_text_block.
//
// A row (offsets from its first byte; little-endian; docs/dump-format.md):
//   4        object id of the object the text belongs to (4 bytes)
//   18       a piece of the text, rec_len - 24 bytes
//   firoff   rec_len, the row length (2 bytes; firoff from the page header)
// An object's text longer than one row continues in the rows after it, in
// chain order, so the pieces of one object are joined in the order read.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class BlockReader;

// A piece of text, or the whole text of one object.
struct ObjectText {
    int32_t object = 0;
    std::string text;
};

// Bytes before a row's text piece, and bytes a row holds besides it.
constexpr int kTextPieceAt = 18;
constexpr int kTextRowOverhead = 24;

// The text pieces of the page `reader` holds (page `page`), in row order.
// Rows are walked with RecordCursor: one that cannot be whole ends the page.
std::vector<ObjectText> TextPiecesOfPage(const BlockReader &reader, int32_t page);

// Appends `piece` to the text of its object in `texts` (a new entry for an
// object not met before; `index` maps object ids to entries).
void JoinTextPiece(std::vector<ObjectText> &texts, std::unordered_map<int32_t, size_t> &index,
                   const ObjectText &piece);
