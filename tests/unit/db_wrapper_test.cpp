// SPDX-License-Identifier: Apache-2.0
#include "platform/db/db_wrapper.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/unit/test_support.h"

namespace {

// A database file of its own for every test, made with SQLite directly.
class DbWrapper : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = make_temp_dir("db_wrapper");
        ASSERT_FALSE(dir_.empty());
        path_ = dir_ + "/cam.db";
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(db,
                         "create table t (id integer primary key, name text, note text);"
                         "insert into t values (1, 'eth0', 'wired'), (2, 'wlan0', null), (3, 'ppp0', 'x');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(db);
    }
    void TearDown() override {
        if (handle_ != nullptr)
            sqlite_disconn(handle_);
        unlink(path_.c_str());
        rmdir(dir_.c_str());
    }
    void conn() {
        ASSERT_EQ(sqlite_conn(path_.c_str(), "", &handle_), 0);
    }
    std::string dir_, path_;
    void* handle_ = nullptr;
};

struct ConnCase {
    const char* name;
    bool existing;
    const char* key;
    int result;
};

class DbWrapperConn : public DbWrapper, public ::testing::WithParamInterface<ConnCase> {};

TEST_P(DbWrapperConn, OpensOnlyExistingFilesWithoutKey) {
    const ConnCase& c = GetParam();
    std::string path = c.existing ? path_ : dir_ + "/missing.db";
    handle_ = reinterpret_cast<void*>(1);
    EXPECT_EQ(sqlite_conn(path.c_str(), c.key, &handle_), c.result);
    EXPECT_EQ(handle_ != nullptr, c.result == 0);
    EXPECT_EQ(access((dir_ + "/missing.db").c_str(), F_OK), -1) << "never creates a file";
}

INSTANTIATE_TEST_SUITE_P(Cases, DbWrapperConn,
                         ::testing::Values(ConnCase{"Existing", true, "", 0},
                                           ConnCase{"NullKey", true, nullptr, 0},
                                           ConnCase{"Missing", false, "", -1},
                                           ConnCase{"KeyRefused", true, "secret", -1}),
                         [](const auto& info) { return info.param.name; });

TEST_F(DbWrapper, QueryStartsOnFirstRowAndStaysExhausted) {
    conn();
    void* stmt = nullptr;
    int columns = 0;
    ASSERT_EQ(
        sqlite_query_record(handle_, "select name, note from t where id >= 2 order by id", &stmt, &columns),
        0);
    EXPECT_EQ(columns, 2);
    EXPECT_STREQ(sqlite_query_column_name(handle_, stmt, 1), "note");
    EXPECT_EQ(sqlite_query_column_name(handle_, stmt, 2), nullptr);
    char buf[8] = "junk";
    EXPECT_EQ(sqlite_query_column_text(stmt, 0, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "wlan0");
    EXPECT_EQ(sqlite_query_column_text(stmt, 1, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "") << "NULL";
    EXPECT_EQ(sqlite_query_column_text(stmt, 2, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "") << "past the last column";
    EXPECT_EQ(sqlite_query_next(stmt), 0);
    sqlite_query_column_text(stmt, 0, buf, sizeof buf);
    EXPECT_STREQ(buf, "ppp0");
    EXPECT_EQ(sqlite_query_next(stmt), 1);
    EXPECT_EQ(sqlite_query_next(stmt), 1) << "not run again from the start";
    sqlite_query_column_text(stmt, 0, buf, sizeof buf);
    EXPECT_STREQ(buf, "") << "no current row after the last";
    sqlite_clear_stmt(stmt);
}

struct QueryFailCase {
    const char* name;
    const char* sql;
    int result;
};

class DbWrapperQueryFail : public DbWrapper, public ::testing::WithParamInterface<QueryFailCase> {};

TEST_P(DbWrapperQueryFail, LeavesNothingToClear) {
    conn();
    void* stmt = reinterpret_cast<void*>(1);
    int columns = 7;
    EXPECT_EQ(sqlite_query_record(handle_, GetParam().sql, &stmt, &columns), GetParam().result);
    EXPECT_EQ(stmt, nullptr);
    EXPECT_EQ(columns, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, DbWrapperQueryFail,
                         ::testing::Values(QueryFailCase{"NoRow", "select * from t where id > 9", 1},
                                           QueryFailCase{"Syntax", "selec * from t", -1},
                                           QueryFailCase{"NoTable", "select * from none", -1},
                                           QueryFailCase{"CommentOnly", "-- nothing", 1}),
                         [](const auto& info) { return info.param.name; });

struct TextCase {
    const char* name;
    const char* value;  // an SQL expression
    int capacity;
    const char* text;
    int result;
};

class DbWrapperText : public DbWrapper, public ::testing::WithParamInterface<TextCase> {};

TEST_P(DbWrapperText, CopiesWithinCapacity) {
    const TextCase& c = GetParam();
    conn();
    std::string sql = std::string("select ") + c.value;
    void* stmt = nullptr;
    int columns = 0;
    ASSERT_EQ(sqlite_query_record(handle_, sql.c_str(), &stmt, &columns), 0);
    char buf[16];
    memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(sqlite_query_column_text(stmt, 0, buf, c.capacity), c.result);
    EXPECT_STREQ(buf, c.text);
    EXPECT_EQ(buf[c.capacity], 'Z') << "nothing written past the capacity";
    sqlite_clear_stmt(stmt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DbWrapperText,
    ::testing::Values(TextCase{"Fits", "'eth0'", 5, "eth0", 0}, TextCase{"Cut", "'wlan0'", 5, "wlan", 1},
                      TextCase{"CapacityOne", "'x'", 1, "", 1}, TextCase{"Integer", "-42", 8, "-42", 0},
                      TextCase{"TwoByteCharNotSplit", "'a\xC3\xA9'", 3, "a", 1},
                      TextCase{"TwoByteCharFits", "'a\xC3\xA9'", 4, "a\xC3\xA9", 0},
                      TextCase{"FourByteCharNotSplit", "'ab\xF0\x9F\x93\xB7'", 5, "ab", 1},
                      TextCase{"StopsAtEmbeddedNul", "'ab' || char(0) || 'cd'", 8, "ab", 0}),
    [](const auto& info) { return info.param.name; });

TEST_F(DbWrapper, WriterWaitsForAnotherConnectionsTransaction) {
    void* holder = nullptr;
    ASSERT_EQ(sqlite_conn(path_.c_str(), "", &holder), 0);
    ASSERT_EQ(sqlite_execute(holder, "begin exclusive; insert into t(name) values ('first');"), 0);
    std::thread release([holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite_execute(holder, "commit;");
    });
    conn();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sqlite_execute(handle_, "insert into t(name) values ('second')"), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    release.join();
    sqlite_disconn(holder);
    void* stmt = nullptr;
    int columns = 0;
    ASSERT_EQ(sqlite_query_record(handle_, "select group_concat(name) from t where id > 3", &stmt, &columns),
              0);
    char buf[32];
    sqlite_query_column_text(stmt, 0, buf, sizeof buf);
    EXPECT_STREQ(buf, "first,second");
    sqlite_clear_stmt(stmt);
}

// EXTRA (3): a commit syncs the rollback journal's deletion too. Statements and queries
// each make it, as the setting stays with the connection, not the file.
TEST_F(DbWrapper, CommitSyncsTheJournalsDeletion) {
    conn();
    ASSERT_EQ(sqlite_execute(handle_, "create temp table level as select * from pragma_synchronous"), 0);
    for (const char* sql : {"select * from level", "select * from pragma_synchronous"}) {
        void* stmt = nullptr;
        int columns = 0;
        ASSERT_EQ(sqlite_query_record(handle_, sql, &stmt, &columns), 0) << sql;
        char buf[8];
        sqlite_query_column_text(stmt, 0, buf, sizeof buf);
        EXPECT_STREQ(buf, "3") << sql;
        sqlite_clear_stmt(stmt);
    }
}

TEST_F(DbWrapper, FailingStatementGivesSqliteResult) {
    conn();
    EXPECT_EQ(sqlite_execute(handle_, "insert into t values ("), SQLITE_ERROR);
    EXPECT_EQ(sqlite_execute(handle_, "insert into t values (1, 'dup', '')"), SQLITE_CONSTRAINT);
    EXPECT_EQ(sqlite_execute(handle_, "\n"), 0) << "an empty line of a statement file is no error";
}

TEST_F(DbWrapper, NothingStaysOpenAfterDisconnect) {
    int before = open_fd_count();
    conn();
    void* stmt = nullptr;
    int columns = 0;
    ASSERT_EQ(sqlite_query_record(handle_, "select * from t", &stmt, &columns), 0);
    // A statement cleared after its connection was closed must not keep the file open.
    EXPECT_EQ(sqlite_disconn(handle_), 0);
    handle_ = nullptr;
    sqlite_clear_stmt(stmt);
    EXPECT_EQ(open_fd_count(), before);
}

}  // namespace
