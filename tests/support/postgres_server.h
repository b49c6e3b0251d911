// A private PostgreSQL server for tests that load output into a real
// database: a new cluster in a temporary folder, trusted local logins, a
// Unix socket in that folder and no TCP port, stopped and removed with the
// object. When the tests run as root the server runs as an unprivileged
// user (vrntest, made when absent, else nobody). POSIX only: on Windows,
// Start reports the server unavailable.
#pragma once

#include <string>

namespace testsupport {

class PostgresServer {
public:
    PostgresServer() = default;
    ~PostgresServer(); // stops the server and removes its folder
    PostgresServer(const PostgresServer &) = delete;
    PostgresServer &operator=(const PostgresServer &) = delete;

    // One server for the whole test binary, started on the first call and
    // stopped when the binary exits (a start takes seconds). Null, with
    // the reason in `*why`, when it cannot start.
    static PostgresServer *Shared(std::string *why);

    // Makes the cluster and starts the server: true when it accepts
    // logins; else false with the reason (tools missing, initdb or the
    // start failed, with their log) in `*why`.
    bool Start(std::string *why);
    bool running() const { return running_; }
    // The folder of the server's socket (psql -h), and its bin folder.
    const std::string &socket_folder() const { return folder_; }
    const std::string &bin_folder() const { return bin_; }

    // Runs `sql` with psql in `database` as the superuser and returns what
    // it printed on standard output: tuples only, unaligned, fields split
    // by a tab, NULL as \N, a line per row (psql -X -v ON_ERROR_STOP=1 -At).
    // `*exit_code` gets psql's exit status (0 ok, 3 an SQL error); its
    // standard error is kept in last_errors().
    std::string Psql(const std::string &database, const std::string &sql, int *exit_code);
    // The same for the script file `file`, run in `work_folder` (relative
    // paths in the script are taken from there; "" stays where the test
    // runs). The file and the folder must be open to the server's user
    // (files of mode 644 and folders of 755 are).
    std::string PsqlFile(const std::string &database, const std::string &file, const std::string &work_folder,
                         int *exit_code);
    // The shell command that runs psql on `database` with the options of
    // Psql, reading its script from standard input: for pipelines
    // ("vrnrecover ... | " + PsqlCommand("db")) run through std::system.
    std::string PsqlCommand(const std::string &database) const;
    const std::string &last_errors() const { return errors_; }

    // CREATE DATABASE `name` (UTF8, template0), dropped first when it
    // exists (a test run again). False with psql's errors
    // in `*why` when it fails.
    bool CreateDatabase(const std::string &name, std::string *why);

private:
    // psql with the options of Psql, for the server's user.
    std::string PsqlWords(const std::string &database) const;
    // `command` run as the server's user, in a shell.
    std::string AsServerUser(const std::string &command) const;

    std::string bin_;    // where initdb, pg_ctl and psql are
    std::string folder_; // the cluster's folder: data/, the log, the socket
    std::string user_;   // "" when the tests do not run as root
    std::string errors_;
    bool running_ = false;
};

// A word quoted for the POSIX shell: '...' with every ' written '\''.
std::string ShellQuote(const std::string &word);

// Runs `command` with /bin/sh and returns its standard output; its exit
// status goes to `*exit_code` (-1 when it could not run or was killed).
std::string RunCommand(const std::string &command, int *exit_code);

} // namespace testsupport
