#include "tests/support/postgres_server.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "tests/support/temp_folder.h"

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace testsupport {

namespace {

#ifndef _WIN32

// The bin folder of the newest PostgreSQL in /usr/lib/postgresql, else the
// folder of the initdb on PATH; "" when there is none.
std::string FindBinFolder() {
    std::vector<platform::DirectoryEntry> versions;
    std::string best;
    long best_version = -1;
    if (platform::listDirectory("/usr/lib/postgresql", "*", versions)) {
        for (const auto &v : versions) {
            const std::string bin = "/usr/lib/postgresql/" + v.name + "/bin";
            if (platform::pathKind(bin + "/initdb") != platform::PathKind::File) continue;
            const long version = std::strtol(v.name.c_str(), nullptr, 10);
            if (version > best_version) {
                best_version = version;
                best = bin;
            }
        }
    }
    if (!best.empty()) return best;
    int rc = 0;
    std::string found = RunCommand("p=$(command -v initdb) && dirname \"$(readlink -f \"$p\")\"", &rc);
    while (!found.empty() && (found.back() == '\n' || found.back() == '\r')) found.pop_back();
    return rc == 0 ? found : std::string();
}

bool UserExists(const std::string &name) { return ::getpwnam(name.c_str()) != nullptr; }

// The user the server runs as when the tests run as root: vrntest, made
// when absent, else nobody; "" when neither is there.
std::string ServerUser() {
    if (UserExists("vrntest")) return "vrntest";
    int rc = 0;
    RunCommand("useradd -r -M -s /usr/sbin/nologin vrntest >/dev/null 2>&1", &rc);
    if (UserExists("vrntest")) return "vrntest";
    if (UserExists("nobody")) return "nobody";
    return std::string();
}

#endif

std::string QuoteIdentifier(const std::string &name) {
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

std::string ShellQuote(const std::string &word) {
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string RunCommand(const std::string &command, int *exit_code) {
    std::string output;
#ifdef _WIN32
    FILE *pipe = _popen(command.c_str(), "rb");
#else
    FILE *pipe = ::popen(command.c_str(), "r");
#endif
    if (!pipe) {
        if (exit_code) *exit_code = -1;
        return output;
    }
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
#ifdef _WIN32
    const int status = _pclose(pipe);
    if (exit_code) *exit_code = status;
#else
    const int status = ::pclose(pipe);
    if (exit_code) *exit_code = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return output;
}

PostgresServer *PostgresServer::Shared(std::string *why) {
    static std::unique_ptr<PostgresServer> server;
    static std::string reason;
    static bool tried = false;
    if (!tried) {
        tried = true;
        server.reset(new PostgresServer);
        if (!server->Start(&reason)) server.reset();
    }
    if (!server && why) *why = reason;
    return server.get();
}

PostgresServer::~PostgresServer() {
    if (running_) {
        int rc = 0;
        RunCommand(AsServerUser(ShellQuote(bin_ + "/pg_ctl") + " -D " + ShellQuote(folder_ + "/data") +
                                " -m fast -w stop") +
                       " >/dev/null 2>&1",
                   &rc);
    }
    if (!folder_.empty()) RemoveTree(folder_);
}

bool PostgresServer::Start(std::string *why) {
    std::string ignored;
    std::string &reason = why ? *why : ignored;
#ifdef _WIN32
    reason = "a PostgreSQL server for the tests runs on POSIX systems only";
    return false;
#else
    if (running_) return true;
    bin_ = FindBinFolder();
    if (bin_.empty()) {
        reason = "PostgreSQL is not installed: no initdb in /usr/lib/postgresql/*/bin nor on PATH "
                 "(tools/install-deps.sh installs the postgresql package)";
        return false;
    }
    if (::geteuid() == 0) {
        user_ = ServerUser();
        if (user_.empty()) {
            reason = "the tests run as root and no unprivileged user (vrntest, nobody) is there to run PostgreSQL";
            return false;
        }
    }
    // Below /tmp, not $TMPDIR: the socket's path must stay short.
    char folder[] = "/tmp/vrnpg_XXXXXX";
    if (!::mkdtemp(folder)) {
        reason = "cannot make a folder below /tmp for the server";
        return false;
    }
    folder_ = folder;
    if (!user_.empty()) {
        const passwd *pw = ::getpwnam(user_.c_str());
        if (!pw || ::chown(folder, pw->pw_uid, pw->pw_gid) != 0) {
            reason = "cannot give " + folder_ + " to the user " + user_;
            return false;
        }
    }
    int rc = 0;
    const std::string data = folder_ + "/data";
    RunCommand(AsServerUser(ShellQuote(bin_ + "/initdb") + " -D " + ShellQuote(data) +
                            " -A trust -U postgres -E UTF8 --no-locale --no-sync") +
                   " >" + ShellQuote(folder_ + "/initdb.log") + " 2>&1",
               &rc);
    if (rc != 0) {
        reason = "initdb failed (exit " + std::to_string(rc) + "): " + ReadFileText(folder_ + "/initdb.log");
        return false;
    }
    // Only the socket in the folder: no TCP port, so servers of tests run
    // side by side never meet. Durability is of no use to a test.
    const std::string options = "-k " + folder_ + " -c listen_addresses='' -c fsync=off -c full_page_writes=off";
    RunCommand(AsServerUser(ShellQuote(bin_ + "/pg_ctl") + " -D " + ShellQuote(data) + " -l " +
                            ShellQuote(folder_ + "/server.log") + " -w -t 120 -o " + ShellQuote(options) +
                            " start") +
                   " >" + ShellQuote(folder_ + "/pg_ctl.log") + " 2>&1",
               &rc);
    if (rc != 0) {
        reason = "pg_ctl start failed (exit " + std::to_string(rc) + "): " + ReadFileText(folder_ + "/pg_ctl.log") +
                 ReadFileText(folder_ + "/server.log");
        return false;
    }
    running_ = true;
    const std::string answer = Psql("postgres", "SELECT 1;", &rc);
    if (rc != 0 || answer != "1\n") {
        reason = "the server started but psql could not log in (exit " + std::to_string(rc) + "): " + errors_;
        return false;
    }
    return true;
#endif
}

std::string PostgresServer::AsServerUser(const std::string &command) const {
    if (user_.empty()) return "sh -c " + ShellQuote(command);
    return "runuser -u " + user_ + " -- sh -c " + ShellQuote(command);
}

std::string PostgresServer::PsqlCommand(const std::string &database) const {
    return AsServerUser(PsqlWords(database));
}

std::string PostgresServer::PsqlWords(const std::string &database) const {
    return "PGCLIENTENCODING=UTF8 " + ShellQuote(bin_ + "/psql") +
           " -X -q -v ON_ERROR_STOP=1 -At -F " + ShellQuote("\t") + " -P " + ShellQuote("null=\\N") + " -h " +
           ShellQuote(folder_) + " -U postgres -d " + ShellQuote(database);
}

std::string PostgresServer::PsqlFile(const std::string &database, const std::string &file,
                                     const std::string &work_folder, int *exit_code) {
    errors_.clear();
    if (!running_) {
        errors_ = "the server is not running";
        if (exit_code) *exit_code = -1;
        return std::string();
    }
    // The folder is entered before the user changes, so that only the
    // folder itself, not the path to it, must be open to the server's user.
    std::string command = AsServerUser(PsqlWords(database) + " -f " + ShellQuote(file));
    if (!work_folder.empty()) command = "cd " + ShellQuote(work_folder) + " && " + command;
    const std::string error_file = folder_ + "/psql.err";
    std::string output = RunCommand(command + " 2>" + ShellQuote(error_file), exit_code);
    errors_ = ReadFileText(error_file);
    return output;
}

std::string PostgresServer::Psql(const std::string &database, const std::string &sql, int *exit_code) {
    const std::string file = folder_ + "/query.sql";
    if (!WriteFileText(file, sql)) {
        errors_ = "cannot write " + file;
        if (exit_code) *exit_code = -1;
        return std::string();
    }
#ifndef _WIN32
    ::chmod(file.c_str(), 0644); // readable by the server's user whatever the umask
#endif
    return PsqlFile(database, file, std::string(), exit_code);
}

bool PostgresServer::CreateDatabase(const std::string &name, std::string *why) {
    int rc = 0;
    // A database of an earlier run of the same test (--gtest_repeat) goes first.
    Psql("postgres", "DROP DATABASE IF EXISTS " + QuoteIdentifier(name) + ";", &rc);
    Psql("postgres", "CREATE DATABASE " + QuoteIdentifier(name) + " TEMPLATE template0 ENCODING 'UTF8';", &rc);
    if (rc != 0 && why) *why = "CREATE DATABASE " + name + " failed (exit " + std::to_string(rc) + "): " + errors_;
    return rc == 0;
}

} // namespace testsupport
