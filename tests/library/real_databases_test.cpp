// The real databases the output tests load into: a private PostgreSQL
// server and the sqlite3 shell each keep a NULL, an empty string and
// non-ASCII text apart and intact, and report a failing script.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/postgres_server.h"
#include "tests/support/sqlite_shell.h"
#include "tests/support/temp_folder.h"

#ifndef _WIN32

using namespace testsupport;

namespace {

const char kMadeTable[] =
    "CREATE TABLE t(id integer, a text, b text, c text);\n"
    "INSERT INTO t VALUES (1, NULL, '', 'caf\xc3\xa9 \xce\xa9 \xe2\x98\x95 it''s');\n";
const char kRowBack[] = "1\t\\N\t\tcaf\xc3\xa9 \xce\xa9 \xe2\x98\x95 it's\n";

TEST(RealDatabases, PostgresServerKeepsNullEmptyAndUtf8Apart) {
    std::string why;
    PostgresServer *server = PostgresServer::Shared(&why);
    ASSERT_NE(server, nullptr) << why;
    ASSERT_TRUE(server->CreateDatabase("plumbing", &why)) << why;

    int rc = -1;
    server->Psql("plumbing", kMadeTable, &rc);
    ASSERT_EQ(rc, 0) << server->last_errors();
    EXPECT_EQ(server->Psql("plumbing", "SELECT * FROM t ORDER BY id;", &rc), kRowBack);
    EXPECT_EQ(rc, 0) << server->last_errors();

    // A script file run in its own folder, reading a file beside it by a
    // relative path, as load.sql does.
    TempFolder folder("pg_script");
    ASSERT_TRUE(WriteFileText(folder / "rows.tsv", "2\t\\N\t\tx\n"));
    ASSERT_TRUE(WriteFileText(folder / "load.sql", "\\copy t FROM 'rows.tsv'\nSELECT count(*) FROM t;\n"));
    EXPECT_EQ(server->PsqlFile("plumbing", "load.sql", folder.path(), &rc), "2\n");
    EXPECT_EQ(rc, 0) << server->last_errors();

    // Standard input, as a stream of the recovery is piped in.
    EXPECT_EQ(RunCommand("printf 'SELECT c FROM t WHERE id = 2;' | " + server->PsqlCommand("plumbing"), &rc), "x\n");
    EXPECT_EQ(rc, 0);

    // An error stops the script with psql's exit status 3.
    EXPECT_EQ(server->Psql("plumbing", "SELECT nosuch FROM t;\nSELECT 1;\n", &rc), "");
    EXPECT_EQ(rc, 3);
    EXPECT_NE(server->last_errors().find("nosuch"), std::string::npos) << server->last_errors();
}

TEST(RealDatabases, SqliteShellKeepsNullEmptyAndUtf8Apart) {
    std::string why;
    ASSERT_TRUE(SqliteAvailable(&why)) << why;
    TempFolder folder("sqlite");
    const std::string db = folder / "new.db";

    int rc = -1;
    std::string errors;
    RunSqlite(db, kMadeTable, &rc, &errors);
    ASSERT_EQ(rc, 0) << errors;
    EXPECT_EQ(RunSqlite(db, "SELECT * FROM t ORDER BY id;", &rc, &errors), kRowBack);
    EXPECT_EQ(rc, 0) << errors;

    ASSERT_TRUE(WriteFileText(folder / "load.sql", "SELECT typeof(a), length(b) FROM t;\n"));
    EXPECT_EQ(RunSqliteFile("new.db", "load.sql", folder.path(), &rc, &errors), "null\t0\n");
    EXPECT_EQ(rc, 0) << errors;

    EXPECT_EQ(RunSqlite(db, "SELECT nosuch FROM t;\nSELECT 1;\n", &rc, &errors), "");
    EXPECT_NE(rc, 0);
    EXPECT_NE(errors.find("nosuch"), std::string::npos) << errors;
}

} // namespace

#endif
