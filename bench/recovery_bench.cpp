// recovery_bench: whole recoveries through the built library, each measured
// against what the machine needs for the same work: reading the dump once,
// and creating the same files holding the same number of bytes.
//
//     recovery_bench [--quick] [--size F] [--repeat N] [--cases a,b,...]
//                    [--levels info,error] [--fs memory,disk]
//                    [--formats tsql,postgres,sqlite,csv] [--threads 1,2]
//                    [--work DIR] [--disk DIR]
//
// Cases (data sizes times F, default 1):
//   mix-2k      1 GiB of a mix of tables at 2 KiB pages
//   mix-2k-100k the same through the extended entry point at 100,000 rows
//               a data script
//   mix-16k     the same at 16 KiB pages
//   mix-4k-15   the same at 4 KiB pages in the newer generation
//   mix-256m    256 MiB of the mix at 2 KiB pages
//   mix-4g      4 GiB of the mix at 2 KiB pages (only when named in --cases)
//   schema-10k  10,000 tables of a few rows each
//   sparse      the mix (16 MiB) in a second database placed beyond 4 GiB
//   one-table   1 GiB at 2 KiB pages, 95 % of its rows in one table
// --quick runs small versions of every case but mix-4g once, in seconds.
// Each case is recovered in every format of --formats (default: all four;
// with --quick only the mix at 2 KiB pages goes beyond the T-SQL scripts);
// the limit is measured for the files and bytes of that format's output.
//
// Dumps are generated once into --work (default /dev/shm/vrn-bench, else a
// folder in the current one) and kept for later runs. Outputs go to a memory
// file system (--work) and to the disk (--disk, default ./recovery-bench-disk).
// Each recovery runs in a child process of its own (this program with
// --recover), which times FileRecover and reports its peak resident memory.
//
// Files created right after many were deleted are slow on some file systems.
// So every run, recovery or limit, writes into a folder that has never held
// files, the folders of a case are only removed after all its runs, and the
// two sides alternate (limit first in one pair, recovery first in the next).
// Figures are medians over --repeat pairs; the ratio is the median of the
// pairs' ratios. With --threads, every case and format is recovered with
// each thread count (above 1 through the extended entry point's `threads`);
// "speed-up" is the one-thread median wall time over this count's.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_figures.h"
#include "bench/dump_generator.h"
#include "platform/platform.h"
#include "tests/support/loaded_vrndll.h"
#include "vrndll.h"

namespace fs = std::filesystem;

namespace {

constexpr double kMiB = 1048576.0;

// The mix: narrow and wide tables, every type, NULLs, text and image values.
// Row counts are relative: the case scales them to its size.
const char kMix[] = R"(
seed 1
database master 1 0
database data 5 2
table narrow 1000000 int smallint tinyint bit
table orders 200000 int int datetime money decimal(10,2)?0.3 varchar(40)?0.2 char(8)
table customers 150000 int varchar(40) varchar(30)?0.3 nvarchar(20)? bit datetime?
table measures 300000 int float real numeric(18,4) smallmoney smalldatetime
table wide 25000 int char(200) char(120) binary(32) numeric(30,6) datetime
table notes 4000 int text?0.3 image?0.7 varchar(20)
)";

const char kSchema[] = R"(
seed 2
database master 1 0
database many 5 2
tables %d t 20 int varchar(30) datetime? money smallint char(10) bit numeric(9,2)?
)";

const char kSparse[] = R"(
seed 3
database master 1 0
database far 7 4200
table narrow 1000000 int smallint tinyint bit
table orders 200000 int int datetime money decimal(10,2)?0.3 varchar(40)?0.2 char(8)
table notes 4000 int text?0.3 image?0.7 varchar(20)
)";

const char kOneTable[] = R"(
seed 4
database master 1 0
database big 5 2
table orders 1900000 int int datetime money decimal(10,2)?0.3 varchar(40)?0.2 char(8)
table customers 50000 int varchar(40) varchar(30)?0.3 nvarchar(20)? bit datetime?
table measures 50000 int float real numeric(18,4) smallmoney smalldatetime
)";

struct Case {
    std::string name;
    std::string description;
    int kb = 2;
    double data_mib = 0; // 0: the row counts as written
    int rows_per_file = 0; // above 0: through the extended entry point
    dumpwriter::Format format = dumpwriter::Format::k12;
};

struct Options {
    bool quick = false;
    double size = 1;
    int repeat = 5;
    std::vector<std::string> cases;
    std::vector<std::string> levels{"info", "error"};
    std::vector<std::string> filesystems{"memory", "disk"};
    std::vector<std::string> formats{"tsql", "postgres", "sqlite", "csv"};
    std::vector<int> threads{1};
    std::string work;
    std::string disk = "recovery-bench-disk";
    std::string program;
};

std::vector<std::string> Split(const std::string &text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        if (!item.empty()) out.push_back(item);
    return out;
}

using benchfig::Median;
using benchfig::Seconds;

std::string Quoted(const std::string &s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Peak resident memory of this process in KiB (Linux), or 0.
long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, 6, "VmHWM:") == 0) return std::atol(line.c_str() + 6);
    return 0;
}

// ------------------------------------------------------------------ the child

void VRN_CDECL NoDiag(const char *, uintptr_t) {}
void VRN_CDECL NoBar(const char *, int, uintptr_t) {}

// The VRN_FORMAT_* of a format's name, or -1.
int FormatNumber(const std::string &name) {
    if (name == "tsql") return VRN_FORMAT_TSQL;
    if (name == "postgres") return VRN_FORMAT_POSTGRES;
    if (name == "sqlite") return VRN_FORMAT_SQLITE;
    if (name == "csv") return VRN_FORMAT_CSV;
    return -1;
}

// One recovery: prints "rc wall cpu peak_kib". With `rows_per_file` above
// 0, or in another format than the T-SQL scripts, it goes through the
// extended entry point (with that many rows a script).
int RunRecovery(const std::string &dump, const std::string &target, const std::string &log, int rows_per_file,
                int format, int threads) {
    testsupport::LoadedVrndll library;
    const bool extended = rows_per_file > 0 || format != VRN_FORMAT_TSQL || threads > 1;
    if (!library.loaded() || (extended && !library.file_recover_ex)) {
        std::fprintf(stderr, "recovery_bench: cannot load the library beside the program\n");
        return 2;
    }
    VrnOptions options{};
    options.size = sizeof options;
    options.rows_per_file = rows_per_file;
    options.target_directory = target.c_str();
    options.log_file = log.c_str();
    options.output_format = format;
    options.threads = threads;
    VrnReport report{};
    report.size = sizeof report;
    const std::clock_t cpu = std::clock();
    const auto wall = std::chrono::steady_clock::now();
    int rc = 0;
    if (extended) {
        const int status = library.file_recover_ex(dump.c_str(), &options, &report);
        rc = status == VRN_STATUS_OK || status == VRN_STATUS_LOSSES ? 0 : -status;
    } else {
        rc = library.file_recover(dump.c_str(), target.c_str(), 0, NoDiag, NoBar, 0, log.c_str());
    }
    const double wall_s = Seconds(wall);
    const double cpu_s = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
    std::printf("%d %.6f %.6f %ld\n", rc, wall_s, cpu_s, PeakResidentKiB());
    return 0;
}

// ------------------------------------------------------------------ the limit

struct OutputFile {
    std::string path; // below the target folder
    uint64_t size = 0;
};

std::vector<OutputFile> ListOutput(const std::string &target, uint64_t &bytes) {
    std::vector<OutputFile> files;
    bytes = 0;
    for (const auto &entry : fs::recursive_directory_iterator(target)) {
        if (!entry.is_regular_file()) continue;
        const uint64_t size = entry.file_size();
        files.push_back({fs::relative(entry.path(), target).string(), size});
        bytes += size;
    }
    std::sort(files.begin(), files.end(), [](const OutputFile &a, const OutputFile &b) { return a.path < b.path; });
    return files;
}

// Reads `path` once from start to end, a MiB at a time, unbuffered (the
// gaps of a sparse dump too: a recovery may look at every block there).
double ReadOnce(const std::string &path) {
    std::vector<char> buffer(1 << 20);
    const auto start = std::chrono::steady_clock::now();
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::setvbuf(f, nullptr, _IONBF, 0);
    while (std::fread(buffer.data(), 1, buffer.size(), f) == buffer.size()) {
    }
    std::fclose(f);
    return Seconds(start);
}

// Creates `files` below `folder`, each written unbuffered in pieces of at
// most a MiB (one write of a file of hundreds of MiB is slower than the
// same bytes in pieces on the memory file system, and no recovery writes so).
double CreateFiles(const std::string &folder, const std::vector<OutputFile> &files) {
    constexpr uint64_t kPiece = 1 << 20;
    uint64_t largest = 0;
    for (const auto &f : files) largest = std::max(largest, f.size);
    const std::string content(static_cast<size_t>(std::min(largest, kPiece)), 'x');
    const auto start = std::chrono::steady_clock::now();
    std::string made;
    for (const auto &f : files) {
        const fs::path path = fs::path(folder) / f.path;
        const std::string parent = path.parent_path().string();
        if (parent != made) {
            fs::create_directories(parent);
            made = parent;
        }
        std::FILE *out = std::fopen(path.string().c_str(), "wb");
        if (!out) continue;
        std::setvbuf(out, nullptr, _IONBF, 0);
        for (uint64_t left = f.size; left > 0;) {
            const size_t n = static_cast<size_t>(std::min(left, kPiece));
            if (std::fwrite(content.data(), 1, n, out) != n) break;
            left -= n;
        }
        std::fclose(out);
    }
    return Seconds(start);
}

// ------------------------------------------------------------------ cases

std::vector<Case> AllCases(const Options &o) {
    const double f = o.quick ? o.size / 128 : o.size;
    char schema[512];
    const int tables = std::max(50, static_cast<int>(10000 * std::min(f, 1.0)));
    std::snprintf(schema, sizeof schema, kSchema, tables);
    return {
        {"mix-2k", kMix, 2, 1024 * f},
        {"mix-2k-100k", kMix, 2, 1024 * f, 100000},
        {"mix-16k", kMix, 16, 1024 * f},
        {"mix-4k-15", kMix, 4, 1024 * f, 0, dumpwriter::Format::k15},
        {"mix-256m", kMix, 2, 256 * f},
        {"mix-4g", kMix, 2, 4096 * f},
        {"schema-10k", schema, 2, 0},
        {"sparse", kSparse, 2, 16 * std::min(f * 8, 1.0)},
        {"one-table", kOneTable, 2, 1024 * f},
    };
}

struct Dump {
    std::string path;
    benchgen::Written written;
};

// The case's dump, generated unless an earlier run left it.
bool PrepareDump(const Case &c, const std::string &work, Dump &dump) {
    std::istringstream in(c.description);
    benchgen::Description d;
    std::string error;
    if (!benchgen::ParseDescription(in, d, error)) {
        std::fprintf(stderr, "recovery_bench: %s: %s\n", c.name.c_str(), error.c_str());
        return false;
    }
    d.kb = c.kb;
    d.format = c.format;
    if (c.data_mib > 0) {
        const double estimate = static_cast<double>(benchgen::EstimateDataBytes(d));
        if (estimate > 0) benchgen::ScaleRows(d, c.data_mib * kMiB / estimate);
    }
    char tag[64];
    std::snprintf(tag, sizeof tag, "%.0f", c.data_mib * 1024);
    // Cases that differ only in how they recover share their dump.
    const std::string stem = c.rows_per_file > 0 ? c.name.substr(0, c.name.rfind('-')) : c.name;
    const std::string base = (fs::path(work) / (stem + "-" + tag + "k")).string();
    dump.path = base + ".dump";
    const std::string info = base + ".info";
    {
        std::ifstream in_info(info);
        unsigned long long rows = 0, bytes = 0;
        if (in_info >> rows >> bytes && fs::exists(dump.path) && fs::file_size(dump.path) == bytes) {
            dump.written.rows = rows;
            dump.written.bytes = bytes;
            return true;
        }
    }
    std::fprintf(stderr, "recovery_bench: generating %s ...\n", dump.path.c_str());
    const auto start = std::chrono::steady_clock::now();
    if (!benchgen::WriteDump(d, dump.path, dump.written, error)) {
        std::fprintf(stderr, "recovery_bench: %s: %s\n", c.name.c_str(), error.c_str());
        return false;
    }
    std::fprintf(stderr, "recovery_bench: generated %.1f MB in %.1f s\n", dump.written.bytes / 1e6, Seconds(start));
    std::ofstream out_info(info);
    out_info << dump.written.rows << ' ' << dump.written.bytes << '\n';
    return true;
}

struct Recovery {
    int rc = -1;
    double wall = 0, cpu = 0;
    long peak_kib = 0;
};

bool Recover(const Options &o, const Case &c, const std::string &dump, const std::string &folder,
             const std::string &level, const std::string &format, int threads, Recovery &r) {
    fs::create_directories(folder);
    const std::string result = folder + ".result";
    platform::setEnvironment("VRN_LOGLEVEL", level);
    const std::string command = Quoted(o.program) + " --recover " + Quoted(dump) + " " + Quoted(folder) + " " +
                                Quoted(folder + ".log") + " " + std::to_string(c.rows_per_file) + " " + std::to_string(FormatNumber(format)) + " " + std::to_string(threads) + " > " +
                                Quoted(result);
    if (std::system(command.c_str()) != 0) return false;
    std::ifstream in(result);
    return static_cast<bool>(in >> r.rc >> r.wall >> r.cpu >> r.peak_kib);
}

void RemoveQuietly(const std::string &path) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

// The one-thread median wall time of the last case, level and format run.
double g_one_thread_wall = 0;

bool RunCase(const Options &o, const Case &c, const Dump &dump, const std::string &fs_name,
             const std::string &root, const std::string &level, const std::string &format, int threads) {
    // A fresh parent per case, level, format and thread count: never a folder that held files.
    const std::string parent =
        (fs::path(root) / (c.name + "-" + level + "-" + format + "-" + std::to_string(threads))).string();
    RemoveQuietly(parent);
    fs::create_directories(parent);

    std::vector<double> walls, cpus, peaks, reads, creates, ratios;
    std::vector<OutputFile> files;
    uint64_t out_bytes = 0;
    bool ok = true;
    for (int k = 0; k < o.repeat && ok; ++k) {
        const std::string run = (fs::path(parent) / ("run" + std::to_string(k))).string();
        double limit = 0;
        auto measure_limit = [&]() {
            const double read = ReadOnce(dump.path);
            const double create = CreateFiles(run + "-limit", files);
            reads.push_back(read);
            creates.push_back(create);
            limit = read + create;
        };
        // The first pair needs the recovery's files before the limit can
        // make them; later pairs alternate which side goes first.
        const bool limit_first = k > 0 && k % 2 == 1;
        if (limit_first) measure_limit();
        Recovery r;
        if (!Recover(o, c, dump.path, run, level, format, threads, r) || r.rc != 0) {
            std::fprintf(stderr, "recovery_bench: %s %s: the recovery failed (result %d)\n", c.name.c_str(),
                         format.c_str(), r.rc);
            ok = false;
            break;
        }
        if (k == 0) files = ListOutput(run, out_bytes);
        if (!limit_first) measure_limit();
        walls.push_back(r.wall);
        cpus.push_back(r.cpu);
        peaks.push_back(r.peak_kib / 1024.0);
        ratios.push_back(limit > 0 ? r.wall / limit : 0);
    }
    RemoveQuietly(parent);
    if (!ok) return false;

    const double wall = Median(walls);
    if (threads <= 1) g_one_thread_wall = wall;
    const double dump_mb = dump.written.bytes / kMiB;
    std::printf("%-11s %-8s %2d %-6s %-5s %9.1f %10llu %8.3f %8.3f %8.1f %11.0f %9.1f %7zu %8.1f | %7.3f %8.3f %8.3f | %5.2f %8.2f\n",
                c.name.c_str(), format.c_str(), threads, fs_name.c_str(), level.c_str(), dump_mb,
                static_cast<unsigned long long>(dump.written.rows), wall, Median(cpus),
                wall > 0 ? dump_mb / wall : 0, wall > 0 ? dump.written.rows / wall : 0, out_bytes / kMiB,
                files.size(), *std::max_element(peaks.begin(), peaks.end()), Median(reads), Median(creates),
                Median(reads) + Median(creates), Median(ratios), wall > 0 ? g_one_thread_wall / wall : 0);
    std::fflush(stdout);
    return true;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: recovery_bench [--quick] [--size F] [--repeat N] [--cases a,b,...]\n"
                 "                      [--levels info,error] [--fs memory,disk]\n"
                 "                      [--formats tsql,postgres,sqlite,csv] [--threads 1,2]\n"
                 "                      [--work DIR] [--disk DIR]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 8 && std::string(argv[1]) == "--recover")
        return RunRecovery(argv[2], argv[3], argv[4], std::atoi(argv[5]), std::atoi(argv[6]), std::atoi(argv[7]));

    Options o;
    o.program = fs::absolute(argv[0]).string();
    bool repeat_given = false, cases_given = false, levels_given = false, fs_given = false, formats_given = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--quick") {
            o.quick = true;
        } else if (a == "--size" && has_value) {
            o.size = std::atof(argv[++i]);
            if (o.size <= 0) return Usage();
        } else if (a == "--repeat" && has_value) {
            o.repeat = std::max(1, std::atoi(argv[++i]));
            repeat_given = true;
        } else if (a == "--cases" && has_value) {
            o.cases = Split(argv[++i]);
            cases_given = true;
        } else if (a == "--levels" && has_value) {
            o.levels = Split(argv[++i]);
            levels_given = true;
        } else if (a == "--fs" && has_value) {
            o.filesystems = Split(argv[++i]);
            fs_given = true;
        } else if (a == "--formats" && has_value) {
            o.formats = Split(argv[++i]);
            formats_given = true;
            for (const std::string &f : o.formats)
                if (FormatNumber(f) < 0) return Usage();
        } else if (a == "--threads" && has_value) {
            o.threads.clear();
            for (const std::string &t : Split(argv[++i])) {
                const int n = std::atoi(t.c_str());
                if (n < 1 || n > 64) return Usage();
                o.threads.push_back(n);
            }
        } else if (a == "--work" && has_value) {
            o.work = argv[++i];
        } else if (a == "--disk" && has_value) {
            o.disk = argv[++i];
        } else {
            return Usage();
        }
    }
    bool remove_work = false;
    if (o.work.empty()) {
        o.work = fs::is_directory("/dev/shm") ? "/dev/shm/vrn-bench" : "recovery-bench-work";
        if (o.quick) {
            // A folder of its own, so that runs side by side do not meet.
            o.work += "-quick-" + std::to_string(std::random_device()());
            remove_work = true;
        }
    }
    if (o.quick) {
        if (!repeat_given) o.repeat = 1;
        if (!levels_given) o.levels = {"info"};
        if (!fs_given) o.filesystems = {"memory"};
    }
    const std::vector<Case> all = AllCases(o);
    if (!cases_given)
        for (const Case &c : all)
            if (c.name != "mix-4g") o.cases.push_back(c.name);

    fs::create_directories(o.work);
    std::printf("%-11s %-8s %2s %-6s %-5s %9s %10s %8s %8s %8s %11s %9s %7s %8s | %7s %8s %8s | %5s %8s\n", "case",
                "format", "th", "fs", "level",
                "dump MiB", "rows", "wall s", "cpu s", "MiB/s", "rows/s", "out MiB", "files", "peak MiB", "read s",
                "create s", "limit s", "ratio", "speed-up");
    int failures = 0;
    for (const std::string &name : o.cases) {
        auto it = std::find_if(all.begin(), all.end(), [&](const Case &c) { return c.name == name; });
        if (it == all.end()) {
            std::fprintf(stderr, "recovery_bench: unknown case %s\n", name.c_str());
            return Usage();
        }
        Dump dump;
        if (!PrepareDump(*it, o.work, dump)) {
            ++failures;
            continue;
        }
        for (const std::string &fs_name : o.filesystems) {
            const std::string root = fs_name == "memory" ? (fs::path(o.work) / "out").string() : o.disk;
            for (const std::string &level : o.levels)
                for (const std::string &format : o.formats) {
                    // The quick run keeps to seconds: the other formats on one case.
                    if (o.quick && !formats_given && format != "tsql" && it->name != "mix-2k") continue;
                    for (int threads : o.threads)
                        if (!RunCase(o, *it, dump, fs_name, root, level, format, threads)) ++failures;
                }
        }
    }
    if (remove_work) RemoveQuietly(o.work);
    return failures == 0 ? 0 : 1;
}
