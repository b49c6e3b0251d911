#include "tests/support/sqlite_shell.h"

#include "tests/support/postgres_server.h"
#include "tests/support/temp_folder.h"

namespace testsupport {

bool SqliteAvailable(std::string *why) {
#ifdef _WIN32
    if (why) *why = "the sqlite3 shell is used by the tests on POSIX systems only";
    return false;
#else
    int rc = 0;
    const std::string version = RunCommand("sqlite3 -version 2>&1", &rc);
    if (rc != 0 && why)
        *why = "the sqlite3 shell does not run (exit " + std::to_string(rc) + ": " + version +
               "); tools/install-deps.sh installs the sqlite3 package";
    return rc == 0;
#endif
}

std::string SqliteCommand(const std::string &db_file) {
    return "sqlite3 -batch -bail -noheader -separator " + ShellQuote("\t") + " -nullvalue " + ShellQuote("\\N") +
           " " + ShellQuote(db_file);
}

std::string RunSqliteFile(const std::string &db_file, const std::string &script_file,
                          const std::string &work_folder, int *exit_code, std::string *errors) {
    TempFolder scratch("sqlite_err");
    const std::string error_file = scratch / "stderr";
    std::string command = SqliteCommand(db_file) + " <" + ShellQuote(script_file) + " 2>" + ShellQuote(error_file);
    if (!work_folder.empty()) command = "cd " + ShellQuote(work_folder) + " && " + command;
    std::string output = RunCommand(command, exit_code);
    if (errors) *errors = ReadFileText(error_file);
    return output;
}

std::string RunSqlite(const std::string &db_file, const std::string &script, int *exit_code,
                      std::string *errors) {
    TempFolder scratch("sqlite_script");
    const std::string file = scratch / "script.sql";
    if (!WriteFileText(file, script)) {
        if (exit_code) *exit_code = -1;
        if (errors) *errors = "cannot write " + file;
        return std::string();
    }
    return RunSqliteFile(db_file, file, std::string(), exit_code, errors);
}

} // namespace testsupport
