#include "tests/support/text_chain.h"

#include <algorithm>
#include <vector>

namespace dumpwriter {

Database &TextChain(Database &db, int32_t owner, int32_t first_page, const Bytes &value,
                    size_t per_page) {
    if (per_page == 0) per_page = 1;
    std::vector<Bytes> pieces;
    for (size_t at = 0; at < value.size(); at += per_page) {
        const size_t n = std::min(per_page, value.size() - at);
        pieces.emplace_back(value.begin() + static_cast<std::ptrdiff_t>(at),
                            value.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    ChainOptions options;
    options.records_per_page = 1;
    options.first_page = first_page;
    options.fl1 = kTextPageFlag;
    return db.chain(owner, pieces, options);
}

Bytes TextPointer(int32_t first_page) {
    Record pointer(16);
    pointer.i32(0, first_page);
    return pointer.bytes();
}

Bytes ToBytes(const std::string &text) { return Bytes(text.begin(), text.end()); }

} // namespace dumpwriter
