// Output stability: the sample dump, at every block size, whole and damaged
// in many ways, recovered through the built library; every output file's
// size and hash (and every call's result) compared with a stored listing.
//
// The listing records what the recovery writes today. A change meant to
// keep the output as it is must keep this test green; a change meant to
// alter it rewrites the listing (VRN_WRITE_LISTING=<path>) in the same
// commit, so the difference shows in review.
//
// The damage is deterministic: header fields set to telling values (zero,
// the page itself, a neighbour, a page far out, a negative number), body
// bytes overwritten, the dump cut short. Every recovery is also run on four
// threads, which must write the same files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/dump_description.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/temp_folder.h"
#include "vrndll.h"

using testsupport::JoinPath;
using testsupport::ListTree;
using testsupport::ReadFileText;
using testsupport::TempFolder;

namespace {

constexpr int kDamagedVariants = 80;

uint64_t Fnv1a(const std::string &bytes) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// xorshift64*: the same damage on every machine.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed * 2654435761u + 1) {}
    uint64_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 2685821657736338717ull;
    }
    uint32_t below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(next() % n); }

private:
    uint64_t state_;
};

void Put32(dumpwriter::Bytes &bytes, uint64_t at, int32_t v) {
    for (int k = 0; k < 4 && at + k < bytes.size(); ++k)
        bytes[at + k] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k));
}
void Put16(dumpwriter::Bytes &bytes, uint64_t at, int16_t v) {
    for (int k = 0; k < 2 && at + k < bytes.size(); ++k)
        bytes[at + k] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> (8 * k));
}

struct PageSpot {
    uint64_t offset;
    int32_t id;
    int32_t last; // highest page of its database
};

// A few damages of one page each, chosen by `seed`.
void Damage(dumpwriter::Bytes &bytes, const std::vector<PageSpot> &pages, int kb, uint64_t seed) {
    Random r(seed);
    const int hits = 1 + static_cast<int>(r.below(3));
    for (int h = 0; h < hits; ++h) {
        const PageSpot &p = pages[r.below(static_cast<uint32_t>(pages.size()))];
        const int32_t values[] = {0, p.id, p.id + 1, p.id - 1, p.last + 1000, -7,
                                  static_cast<int32_t>(r.below(static_cast<uint32_t>(p.last) + 1)), 0x7fffffff};
        const int32_t value = values[r.below(8)];
        switch (r.below(6)) {
        case 0: Put32(bytes, p.offset + 4, value); break;  // next_id
        case 1: Put32(bytes, p.offset + 12, value); break; // owner
        case 2: Put32(bytes, p.offset + 0, value); break;  // id
        case 3: {                                          // len
            const int16_t lens[] = {0, 31, 33, static_cast<int16_t>(kb * 1024 + 100), -1,
                                    static_cast<int16_t>(r.below(static_cast<uint32_t>(kb) * 1024))};
            Put16(bytes, p.offset + 26, lens[r.below(6)]);
            break;
        }
        case 4: Put16(bytes, p.offset + 30, static_cast<int16_t>(value % 300)); break; // firoff
        default: {                                                                     // body bytes
            const uint64_t at = p.offset + 32 + r.below(static_cast<uint32_t>(kb) * 1024 - 32);
            const int run = 1 + static_cast<int>(r.below(4));
            for (int k = 0; k < run && at + k < bytes.size(); ++k)
                bytes[at + k] = static_cast<uint8_t>(r.below(2) ? r.below(256) : 0xFF);
            break;
        }
        }
    }
}

std::string SampleDescription(int kb) {
    const char *path = std::getenv("VRN_SAMPLE_DESCRIPTION");
    std::istringstream in(path ? ReadFileText(path) : std::string());
    std::string out, line;
    while (std::getline(in, line)) {
        if (line.rfind("block_size", 0) == 0) line = "block_size " + std::to_string(kb);
        out += line + "\n";
    }
    return out;
}

// "name result\n" then one line per output file: path below the dated
// folder, size, hash. A file that holds something but does not end with a
// line break is added to `unterminated`. With `threads`, through the
// extended entry point with that many threads (its result is the status).
std::string Recover(testsupport::LoadedVrndll &library, const std::string &name,
                    const dumpwriter::Bytes &bytes, std::vector<std::string> &unterminated, int threads = 0) {
    TempFolder scratch("stability");
    const std::string dump_path = scratch / "sample.dmp";
    {
        std::ofstream out(dump_path, std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    const std::string target = scratch / "target";
    platform::createDirectory(target);
    const std::string log = scratch / "recovery.log";
    int rc = 0;
    if (threads > 0) {
        VrnOptions o;
        std::memset(&o, 0, sizeof o);
        o.size = sizeof o;
        o.target_directory = target.c_str();
        o.log_file = log.c_str();
        o.threads = threads;
        VrnReport report;
        std::memset(&report, 0, sizeof report);
        report.size = sizeof report;
        rc = library.file_recover_ex(dump_path.c_str(), &o, &report);
    } else {
        rc = library.file_recover(dump_path.c_str(), target.c_str(), 0, testsupport::IgnoreDiag,
                                  testsupport::IgnorePercent, 0, log.c_str());
    }
    std::string listing = name + " " + std::to_string(rc) + "\n";
    for (const std::string &entry : ListTree(target)) {
        const size_t slash = entry.find('/');
        const std::string below = slash == std::string::npos ? std::string() : entry.substr(slash + 1);
        if (below.empty() || entry.back() == '/') continue;
        const std::string text = ReadFileText(JoinPath(target, entry));
        if (!text.empty() && text.back() != '\n') unterminated.push_back(name + ": " + below);
        char line[64];
        std::snprintf(line, sizeof line, " %zu %016llx", text.size(),
                      static_cast<unsigned long long>(Fnv1a(text)));
        listing += "  " + below + line + "\n";
    }
    return listing;
}

// The file lines of a listing of one recovery (its first line, the name
// and result, left out).
std::string FilesOf(const std::string &listing) { return listing.substr(listing.find('\n') + 1); }

} // namespace

TEST(OutputStability, RecoveriesMatchTheStoredListing) {
    const char *expected_path = std::getenv("VRN_STABILITY_LISTING");
    ASSERT_NE(expected_path, nullptr);
    ASSERT_NE(SampleDescription(4), "");
    testsupport::LoadedVrndll library;
    ASSERT_TRUE(library.loaded());

    std::string listing;
    std::vector<std::string> unterminated;
    for (int kb : {2, 4, 8, 16}) {
        std::istringstream description(SampleDescription(kb));
        std::string error;
        auto dump = dumpwriter::ReadDescription(description, error);
        ASSERT_TRUE(dump) << error;
        const dumpwriter::Bytes whole = dump->bytes();
        std::vector<PageSpot> pages;
        for (dumpwriter::Database *db : dump->databases())
            for (int32_t p = 1; p <= db->last_page(); ++p) {
                const uint64_t at = dump->page_offset(*db, p);
                // Only laid-out pages: damage to free space says little.
                if (at + 32 <= whole.size() && std::any_of(whole.begin() + static_cast<std::ptrdiff_t>(at),
                                                           whole.begin() + static_cast<std::ptrdiff_t>(at + 32),
                                                           [](uint8_t b) { return b != 0; }))
                    pages.push_back({at, p, db->last_page()});
            }
        ASSERT_FALSE(pages.empty());

        // Each recovery also on four threads, which must write the same
        // files, byte for byte.
        const auto recover = [&](const std::string &name, const dumpwriter::Bytes &bytes) {
            const std::string alone = Recover(library, name, bytes, unterminated);
            const std::string apart = Recover(library, name, bytes, unterminated, 4);
            EXPECT_EQ(FilesOf(apart), FilesOf(alone)) << name << " on four threads";
            listing += alone;
        };
        const std::string size = std::to_string(kb) + "k";
        recover(size + " whole", whole);
        for (int cut = 1; cut <= 4; ++cut)
            recover(size + " cut" + std::to_string(cut),
                    dumpwriter::Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * cut / 5)));
        for (int v = 0; v < kDamagedVariants; ++v) {
            dumpwriter::Bytes damaged = whole;
            Damage(damaged, pages, kb, static_cast<uint64_t>(kb) * 1000 + static_cast<uint64_t>(v));
            recover(size + " damaged" + std::to_string(v), damaged);
        }
    }

    // Every file written, whole dump or damaged, ends with a line break.
    EXPECT_EQ(unterminated, std::vector<std::string>());

    if (const char *write = std::getenv("VRN_WRITE_LISTING")) {
        std::ofstream(write, std::ios::binary) << listing;
        return;
    }
    const std::string expected = ReadFileText(expected_path);
    ASSERT_FALSE(expected.empty()) << expected_path;
    // Compared case by case, so a failure names the recoveries that changed.
    std::istringstream a(expected), b(listing);
    std::string ea, eb;
    std::vector<std::string> ca, cb;
    for (std::string line; std::getline(a, line);) {
        if (line.rfind("  ", 0) != 0 && !ea.empty()) ca.push_back(ea), ea.clear();
        ea += line + "\n";
    }
    ca.push_back(ea);
    for (std::string line; std::getline(b, line);) {
        if (line.rfind("  ", 0) != 0 && !eb.empty()) cb.push_back(eb), eb.clear();
        eb += line + "\n";
    }
    cb.push_back(eb);
    ASSERT_EQ(ca.size(), cb.size());
    for (size_t k = 0; k < ca.size(); ++k) EXPECT_EQ(ca[k], cb[k]);
}
