// pg_load_bench: how long PostgreSQL takes to load the postgres output
// (psql -f load.sql, the rows in COPY blocks) against the same rows loaded
// as one INSERT statement each, every statement its own transaction, as
// the T-SQL scripts load.
//
//     pg_load_bench [--rows N] [--insert-rows M] [--repeat R] [--work DIR]
//
// One table of N rows (default 1,000,000; numbers, a date, money, decimals,
// text with NULLs) is generated into a dump, recovered in the postgres
// format and loaded into a private server (a new cluster in /tmp, a Unix
// socket only, fsync off; as an unprivileged user when run as root). The
// INSERT path loads the first M rows (default 20,000) of the table, written
// back by the server as INSERT statements, into an empty copy of it, and is
// extrapolated linearly to N rows: one statement a row for a million rows
// takes too long to run whole. Every load runs R times (default 3); the
// figures are medians and the ratio is INSERT (extrapolated) over COPY.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_figures.h"
#include "bench/dump_generator.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/postgres_server.h"
#include "vrndll.h"

namespace fs = std::filesystem;

namespace {

const char kTable[] = R"(
seed 4
database master 1 0
database data 5 2
table orders %ld int int datetime money decimal(10,2)?0.3 varchar(40)?0.2 char(8)
)";

using benchfig::Median;
using benchfig::Seconds;

int Fail(const std::string &what) {
    std::fprintf(stderr, "pg_load_bench: %s\n", what.c_str());
    return 1;
}

// Opens the folders and files below `root` to every user, for the server's.
void OpenToAll(const std::string &root) {
    std::error_code ignored;
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec, ignored);
    for (const auto &entry : fs::recursive_directory_iterator(root, ignored)) {
        const bool folder = entry.is_directory();
        fs::permissions(entry.path(),
                        folder ? fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec
                               : fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                     fs::perms::others_read,
                        ignored);
    }
}

} // namespace

int main(int argc, char **argv) {
    long rows = 1000000, insert_rows = 20000;
    int repeat = 3;
    std::string work = fs::is_directory("/dev/shm") ? "/dev/shm/vrn-pg-load" : "pg-load-bench-work";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--rows" && has_value) {
            rows = std::atol(argv[++i]);
        } else if (a == "--insert-rows" && has_value) {
            insert_rows = std::atol(argv[++i]);
        } else if (a == "--repeat" && has_value) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--work" && has_value) {
            work = argv[++i];
        } else {
            std::fprintf(stderr, "usage: pg_load_bench [--rows N] [--insert-rows M] [--repeat R] [--work DIR]\n");
            return 2;
        }
    }
    if (rows < 1 || insert_rows < 1) return Fail("--rows and --insert-rows take a positive number");
    insert_rows = std::min(insert_rows, rows);

    std::error_code ignored;
    fs::remove_all(work, ignored);
    fs::create_directories(work);

    // The dump and its recovery in the postgres format.
    char description[512];
    std::snprintf(description, sizeof description, kTable, rows);
    std::istringstream in(description);
    benchgen::Description d;
    std::string error;
    if (!benchgen::ParseDescription(in, d, error)) return Fail(error);
    const std::string dump = work + "/orders.dump";
    benchgen::Written written;
    if (!benchgen::WriteDump(d, dump, written, error)) return Fail(error);

    testsupport::LoadedVrndll library;
    if (!library.loaded() || !library.file_recover_ex) return Fail("cannot load the library beside the program");
    const std::string output = work + "/out";
    const std::string log = work + "/recovery.log";
    VrnOptions options{};
    options.size = sizeof options;
    options.output_folder = output.c_str();
    options.log_file = log.c_str();
    options.output_format = VRN_FORMAT_POSTGRES;
    VrnReport report{};
    report.size = sizeof report;
    const auto recovery_start = std::chrono::steady_clock::now();
    const int status = library.file_recover_ex(dump.c_str(), &options, &report);
    const double recovery_s = Seconds(recovery_start);
    if (status != VRN_STATUS_OK) return Fail("the recovery failed (status " + std::to_string(status) + ")");
    if (report.rows_written != static_cast<uint64_t>(rows))
        return Fail("the recovery wrote " + std::to_string(report.rows_written) + " rows, not " +
                    std::to_string(rows));
    std::string load_folder;
    for (const auto &entry : fs::recursive_directory_iterator(output))
        if (entry.path().filename() == "load.sql" && entry.path().parent_path().filename() == "data")
            load_folder = entry.path().parent_path().string();
    if (load_folder.empty()) return Fail("no data/load.sql below " + output);
    OpenToAll(work);

    testsupport::PostgresServer server;
    if (!server.Start(&error)) {
        Fail(error);
        return 77; // no server here: nothing measured, nothing wrong
    }

    // COPY: load.sql into a new database, R times.
    std::vector<double> copies;
    std::string table;
    for (int k = 0; k < repeat; ++k) {
        const std::string db = "copy" + std::to_string(k);
        if (!server.CreateDatabase(db, &error)) return Fail(error);
        int rc = 0;
        const auto start = std::chrono::steady_clock::now();
        server.PsqlFile(db, "load.sql", load_folder, &rc);
        copies.push_back(Seconds(start));
        if (rc != 0) return Fail("psql -f load.sql failed: " + server.last_errors());
        if (table.empty()) {
            std::string answer = server.Psql(
                db,
                "SELECT quote_ident(table_schema) || '.' || quote_ident(table_name) FROM information_schema.tables "
                "WHERE table_schema NOT IN ('pg_catalog', 'information_schema');",
                &rc);
            while (!answer.empty() && answer.back() == '\n') answer.pop_back();
            if (rc != 0 || answer.empty() || answer.find('\n') != std::string::npos)
                return Fail("not one table after the load: " + answer + server.last_errors());
            table = answer;
        }
        const std::string count = server.Psql(db, "SELECT count(*) FROM " + table + ";", &rc);
        if (rc != 0 || std::atol(count.c_str()) != rows) return Fail("the load holds " + count + " rows");
    }

    // INSERT: the first M rows as statements of their own, written by the
    // server from the loaded table (every column a literal, NULL as NULL).
    int rc = 0;
    const std::string statements = server.Psql(
        "copy0",
        "SELECT 'INSERT INTO ins VALUES (' || (SELECT string_agg(quote_nullable(v.value), ', ' ORDER BY v.n) "
        "FROM json_each_text(row_to_json(t)) WITH ORDINALITY AS v(key, value, n)) || ');' FROM " +
            table + " AS t LIMIT " + std::to_string(insert_rows) + ";",
        &rc);
    if (rc != 0) return Fail("cannot write the INSERT statements: " + server.last_errors());
    const std::string insert_file = work + "/inserts.sql";
    {
        std::ofstream out(insert_file, std::ios::binary);
        out << statements;
        if (!out) return Fail("cannot write " + insert_file);
    }
    OpenToAll(work);
    std::vector<double> inserts;
    for (int k = 0; k < repeat; ++k) {
        server.Psql("copy0", "DROP TABLE IF EXISTS ins; CREATE TABLE ins (LIKE " + table + " INCLUDING ALL);", &rc);
        if (rc != 0) return Fail("cannot make the table for the INSERTs: " + server.last_errors());
        const auto start = std::chrono::steady_clock::now();
        server.PsqlFile("copy0", "inserts.sql", work, &rc);
        inserts.push_back(Seconds(start));
        if (rc != 0) return Fail("the INSERT statements failed: " + server.last_errors());
        const std::string same = server.Psql(
            "copy0", "SELECT count(*) FROM ins AS i WHERE row(i.*)::text IN (SELECT row(t.*)::text FROM " + table +
                         " AS t);",
            &rc);
        if (rc != 0 || std::atol(same.c_str()) != insert_rows)
            return Fail("the INSERTs loaded " + same + " rows equal to the table's, not " +
                        std::to_string(insert_rows) + server.last_errors());
    }

    const double copy_s = Median(copies), insert_s = Median(inserts);
    const double insert_all_s = insert_s * static_cast<double>(rows) / static_cast<double>(insert_rows);
    std::printf("rows %ld, dump %.1f MiB, recovery %.2f s, load.sql %.1f MiB\n", rows, written.bytes / 1048576.0,
                recovery_s, fs::file_size(load_folder + "/load.sql") / 1048576.0);
    std::printf("COPY   (load.sql, %ld rows):    median %.2f s of %d  (%.0f rows/s)\n", rows, copy_s, repeat,
                copy_s > 0 ? rows / copy_s : 0);
    std::printf("INSERT (%ld rows, a transaction each): median %.2f s of %d  (%.0f rows/s)\n", insert_rows,
                insert_s, repeat, insert_s > 0 ? insert_rows / insert_s : 0);
    std::printf("INSERT extrapolated to %ld rows: %.1f s; ratio INSERT/COPY %.1f\n", rows, insert_all_s,
                copy_s > 0 ? insert_all_s / copy_s : 0);
    fs::remove_all(work, ignored);
    return 0;
}
