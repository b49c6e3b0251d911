// The sqlite3 shell for tests that load output into a real SQLite
// database. POSIX only: on Windows SqliteAvailable says why not.
#pragma once

#include <string>

namespace testsupport {

// True when the sqlite3 shell runs; else false with the reason in `*why`.
bool SqliteAvailable(std::string *why);

// The shell command that runs sqlite3 on the database file `db_file`
// (made when absent), reading its script from standard input, with the
// options of RunSqlite: for pipelines run through std::system.
std::string SqliteCommand(const std::string &db_file);

// Runs `script` with the sqlite3 shell on `db_file` and returns what it
// printed on standard output: no header, fields split by a tab, NULL as
// \N, a line per row (-batch -bail -noheader -separator TAB -nullvalue \N).
// The first error stops the script. `*exit_code` gets the shell's exit
// status (0 ok); its standard error goes to `*errors` when given.
std::string RunSqlite(const std::string &db_file, const std::string &script, int *exit_code,
                      std::string *errors = nullptr);

// The same for the script file `script_file`, run in `work_folder` as
// `sqlite3 DB < script_file` there ("" stays where the test runs).
std::string RunSqliteFile(const std::string &db_file, const std::string &script_file,
                          const std::string &work_folder, int *exit_code, std::string *errors = nullptr);

} // namespace testsupport
