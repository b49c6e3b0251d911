#include "vrndll/sql/PostgresValues.h"

#include "vrndll/output/TableSchema.h"
#include "vrndll/sql/PlainRun.h"
#include "vrndll/sql/ValueFormat.h"

namespace values {

void AppendCopyText(std::string &out, const char *utf8, size_t n, size_t *nuls) {
    size_t i = 0;
    for (;;) {
        const size_t run = PlainRun<'\\', '\t', '\n', '\r', '\0'>(utf8 + i, n - i);
        out.append(utf8 + i, run);
        i += run;
        if (i == n) return;
        const char c = utf8[i++];
        switch (c) {
        case '\\': out.append("\\\\"); break;
        case '\t': out.append("\\t"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        default: // NUL: dropped
            if (nuls) *nuls += 1;
            break;
        }
    }
}

void AppendCsvText(std::string &out, const char *utf8, size_t n, size_t *nuls) {
    size_t i = 0;
    for (;;) {
        const size_t run = PlainRun<'"', '\0'>(utf8 + i, n - i);
        out.append(utf8 + i, run);
        i += run;
        if (i == n) return;
        if (utf8[i++] == '"')
            out.append("\"\"");
        else if (nuls)
            *nuls += 1;
    }
}

std::string PostgresIdentifier(const std::string &name, Charset cs) {
    std::string utf8;
    AppendUtf8(utf8, reinterpret_cast<const uint8_t *>(name.data()), name.size(), cs, nullptr);
    if (utf8.empty()) utf8 = "_";
    std::string out = "\"";
    for (char c : utf8) {
        if (c == '\0') continue;
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

namespace {

std::string Sized(const char *type, long n, const char *unbounded) {
    if (n <= 0) return unbounded;
    return std::string(type) + "(" + std::to_string(n) + ")";
}

} // namespace

std::string PostgresType(const SchemaColumn &c, bool *identity) {
    bool numbered = false;
    std::string type;
    switch (c.user_type) {
    case kChar: case kNChar: type = Sized("char", c.length, "text"); break;
    case kVarChar: case kNVarChar: case kSysname: case kLongSysname:
        type = Sized("varchar", c.length, "text");
        break;
    case kUniChar: type = Sized("char", c.length / 2, "text"); break;
    case kUniVarChar: type = Sized("varchar", c.length / 2, "text"); break;
    case kText: case kUniText: type = "text"; break;
    case kTinyInt: case kSmallInt: type = "smallint"; numbered = true; break;
    case kInt: case kUnsignedSmallInt: type = "integer"; numbered = true; break;
    case kBigInt: case kUnsignedInt: type = "bigint"; numbered = true; break;
    case kUnsignedBigInt: type = "numeric(20,0)"; break;
    case kFloat: type = "double precision"; break;
    case kReal: type = "real"; break;
    case kMoney: type = "numeric(19,4)"; break;
    case kSmallMoney: type = "numeric(10,4)"; break;
    case kNumeric: case kDecimal:
        if (c.identity && c.scale == 0 && c.precision >= 1 && c.precision <= 18) {
            type = "bigint";
            numbered = true;
        } else if (c.precision >= 1 && c.precision <= 1000 && c.scale >= 0 && c.scale <= c.precision) {
            type = "numeric(" + std::to_string(c.precision) + "," + std::to_string(c.scale) + ")";
        } else {
            type = "numeric";
        }
        break;
    case kDateTime: type = "timestamp(3)"; break;
    case kSmallDateTime: type = "timestamp(0)"; break;
    case kDate: type = "date"; break;
    case kTime: type = "time(3)"; break;
    case kBit: type = "boolean"; break;
    default: type = "bytea"; break; // binary, varbinary, image, timestamp, unknown codes
    }
    if (identity) *identity = c.identity && numbered;
    return type;
}

} // namespace values
