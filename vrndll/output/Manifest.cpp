#include "vrndll/output/Manifest.h"

#include <cstdint>

namespace {

void AppendEscapedCodePoint(std::string &out, unsigned c) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\u00";
    out += kHex[(c >> 4) & 15];
    out += kHex[c & 15];
}

// Length of the valid UTF-8 sequence at s[i] (2 to 4), or 0.
size_t Utf8SequenceLength(const std::string &s, size_t i) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = at(i);
    size_t n = 0;
    uint32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        cp = b & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((at(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (at(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are no UTF-8.
    if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

void Field(std::string &out, const char *name, uint64_t value) {
    out += ", \"";
    out += name;
    out += "\": ";
    out += std::to_string(value);
}

void Files(std::string &out, const std::vector<std::string> &files) {
    out += "[";
    for (size_t k = 0; k < files.size(); ++k) {
        if (k != 0) out += ", ";
        out += JsonString(files[k]);
    }
    out += "]";
}

void Counts(std::string &out, const RecoveryCounts &c) {
    out += "\"rows_written\": " + std::to_string(c.rows_written);
    Field(out, "rows_skipped", c.rows_skipped);
    Field(out, "pages_read", c.pages_read);
    Field(out, "pages_unreadable", c.pages_unreadable);
    Field(out, "chains_broken", c.chains_broken);
    Field(out, "chains_continued", c.chains_continued);
    Field(out, "values_null", c.values_null);
    Field(out, "values_changed", c.values_changed);
    Field(out, "scripts_not_created", c.scripts_not_created);
    Field(out, "rows_not_written", c.rows_not_written);
}

void Table(std::string &out, const ManifestTable &t) {
    out += "{\"name\": " + JsonString(t.name) + ", ";
    Counts(out, t.counts);
    out += ", \"files\": ";
    Files(out, t.files);
    out += ", \"lost_values\": [";
    for (size_t k = 0; k < t.lost_values.listed.size(); ++k) {
        const LostValue &v = t.lost_values.listed[k];
        out += k == 0 ? "\n        " : ",\n        ";
        out += "{\"page\": " + std::to_string(v.page) + ", \"row\": " + std::to_string(v.row) +
               ", \"column\": " + JsonString(v.column) + ", \"written\": \"" + (v.as_null ? "NULL" : "changed") +
               "\", \"why\": " + JsonString(v.why) + "}";
    }
    out += "]";
    Field(out, "lost_values_not_listed", t.lost_values.unlisted);
    out += "}";
}

} // namespace

std::string JsonString(const std::string &bytes) {
    std::string out = "\"";
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            AppendEscapedCodePoint(out, c);
        } else if (c >= 0x80) {
            const size_t n = Utf8SequenceLength(bytes, i);
            if (n == 0) {
                AppendEscapedCodePoint(out, c);
            } else {
                out.append(bytes, i, n);
                i += n;
                continue;
            }
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    out += '"';
    return out;
}

std::string Manifest::Json(const std::string &stop) const {
    std::string out = "{\n  \"complete\": ";
    out += stop.empty() ? "true" : "false";
    if (!stop.empty()) out += ",\n  \"stopped\": " + JsonString(stop);
    RecoveryCounts totals;
    for (const ManifestDatabase &d : databases)
        for (const ManifestTable &t : d.tables) totals += t.counts;
    out += ",\n  \"totals\": {";
    Counts(out, totals);
    out += "},\n  \"databases\": [";
    for (size_t k = 0; k < databases.size(); ++k) {
        const ManifestDatabase &d = databases[k];
        out += k == 0 ? "\n    " : ",\n    ";
        out += "{\"name\": " + JsonString(d.name) + ", \"folder\": " + JsonString(d.folder) +
               ", \"lost\": " + (d.lost ? "true" : "false");
        if (d.lost) out += ", \"reason\": " + JsonString(d.reason);
        RecoveryCounts sums;
        for (const ManifestTable &t : d.tables) sums += t.counts;
        out += ", ";
        Counts(out, sums);
        out += ", \"files\": ";
        Files(out, d.files);
        out += ", \"tables\": [";
        for (size_t j = 0; j < d.tables.size(); ++j) {
            out += j == 0 ? "\n      " : ",\n      ";
            Table(out, d.tables[j]);
        }
        out += "]}";
    }
    out += "]\n}\n";
    return out;
}
