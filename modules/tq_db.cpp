// SPDX-License-Identifier: Apache-2.0
// The db module: queries and statements on the camera's SQLite databases.
//
// Every statement and query runs under the database lock, which this program shares
// with the camera's other processes through a record lock on a lock file. A connection
// lives for one action (one option) only.
#include "modules/tq_db.h"

#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "framework/module.h"
#include "framework/test.h"
#include "framework/usage.h"
#include "osa/osa.h"
#include "platform/db/db_wrapper.h"

#define DB_MODULE_ID 12
#define DB_PATH_SIZE 64
#define DB_RESULT_SIZE 2048
#define DB_VALUE_SIZE 256
#define DB_LINE_SIZE 256
#define DB_UNIT "tq_db"

struct DbFile {
    const char* name;
    const char* file;
    const char* lock_file;
};

// The names -d accepts, in the order they are tested. The factory copies are put in
// place by db_default_file_init.
static const DbFile s_db_files[] = {
    {"tqdb", "/mnt/nand/tqdb.db", "/tmp/db.fl"},
    {"oem", "/mnt/nand2/oem.db", "/tmp/db.fl"},
};

static const char kTableListSql[] = "select name from sqlite_master where type='table' order by name;";

static char db_path[DB_PATH_SIZE];
static char db_lock_path[DB_PATH_SIZE];
static void* db_handle = nullptr;
static pthread_rwlock_t db_rwlock = PTHREAD_RWLOCK_INITIALIZER;

// One row per option: long name, argument, value, kind shown in brackets, help text.
// clang-format off
constexpr auto kDbOptions = option_table("module name: db", {
    {"select", required_argument, 's', "str", "Cmd inquiry string.for example -s \"select * from user;\""},
    {"execute", required_argument, 'e', "str", "Cmd execute string"},
    {"file", required_argument, 'f', "file", "Filepath to execute"},
    {"database", required_argument, 'd', "str", "Set database [tqdb, oem, sddb, log], default[tqdb]"},
    {"table", no_argument, 't', "", "List table name"},
});
// clang-format on

static int db_usage(void);

static void db_show_file(void) {
    OSA_printf("Current Database File: [%s] \n", db_path);
}

static int db_set_database(const char* name) {
    const DbFile* found = nullptr;
    for (const DbFile& db : s_db_files) {
        if (found == nullptr && strcmp(name, db.name) == 0) {
            found = &db;
        }
    }
    if (found != nullptr) {
        snprintf(db_path, sizeof db_path, "%s", found->file);
        snprintf(db_lock_path, sizeof db_lock_path, "%s", found->lock_file);
    } else {
        OSA_printf("Invalid Database '%s'! Optional: [tqdb, oem, sddb, log] \n", name);
    }
    db_show_file();
    return 0;
}

static int db_con_init(void) {
    if (access(db_path, F_OK) != 0) {
        OSA_ERROR(DB_UNIT, "db_con_init", "db=[%s] file not existed. \n", db_path);
        return -1;
    }
    if (db_handle != nullptr) {
        return 0;
    }
    // A query or statement that runs on after a stop request (one that would step for
    // ever) is interrupted and fails as a failing one does.
    sqlite_set_stop_query(OSA_stopRequested);
    if (sqlite_conn(db_path, "", &db_handle) == 0) {
        return 0;
    }
    db_handle = nullptr;
    OSA_ERROR(DB_UNIT, "db_con_init", "db init failed. \n");
    db_show_file();
    return -1;
}

static void db_con_deinit(void) {
    if (db_handle != nullptr) {
        sqlite_disconn(db_handle);
        db_handle = nullptr;
    }
}

static int is_db_init(void) {
    if (db_handle != nullptr) {
        return 1;
    }
    OSA_ERROR(DB_UNIT, "is_db_init", "db=[%s] not init. \n", db_path);
    return 0;
}

// The camera's other processes may hold the record lock for as long as they like, and a
// blocking lockf would sit through a Ctrl-C (the signal handler restarts it). It is
// therefore tried in slices, each a sleep that a signal cuts short, and a stop request
// ends the wait as a lock that fails (EINTR), with *stopped set.
static int db_record_lock(int fd, bool* stopped) {
    const uint32_t slice_ms = 20;
    for (;;) {
        if (lockf(fd, F_TLOCK, 0) == 0) {
            return 0;
        }
        if (errno != EACCES && errno != EAGAIN) {
            return -1;
        }
        if (g_exit_flag) {
            *stopped = true;
            errno = EINTR;
            return -1;
        }
        OSA_sleepMillis(slice_ms);
    }
}

// The statement or query goes on without the lock when it cannot be taken (a missing
// lock must not stop the technician), but the fact is reported. A wait that a stop
// request ended is reported the same way; the caller then gives its action up.
static int db_file_lock(bool* stopped) {
    int fd = open(db_lock_path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        OSA_ERROR(DB_UNIT, "db_file_lock", "lock file=[%s] open failed: %s. \n", db_lock_path,
                  strerror(errno));
        return -1;
    }
    pthread_rwlock_wrlock(&db_rwlock);
    if (db_record_lock(fd, stopped) != 0) {
        int err = errno;
        close(fd);
        pthread_rwlock_unlock(&db_rwlock);
        OSA_ERROR(DB_UNIT, "db_file_lock", "lock file=[%s] lock failed: %s. \n", db_lock_path, strerror(err));
        return -1;
    }
    return fd;
}

// Released in the fixed order: the process lock, then the record lock, then the
// descriptor. With the program's single thread no other holder can slip in between.
static int db_file_unlock(int fd) {
    if (fd == -1) {
        return -1;
    }
    pthread_rwlock_unlock(&db_rwlock);
    lockf(fd, F_ULOCK, 0);
    close(fd);
    return 0;
}

// Holds the database lock from construction until release() or the end of the scope.
// stopped(): the wait for it was ended by a stop request. The action is then given up:
// a statement run without the lock after the technician asked to stop would be the
// worst of both.
class DbLock {
public:
    DbLock() : fd_(db_file_lock(&stopped_)) {}
    DbLock(const DbLock&) = delete;
    DbLock& operator=(const DbLock&) = delete;
    ~DbLock() {
        release();
    }
    void release() {
        db_file_unlock(fd_);
        fd_ = -1;
    }
    bool stopped() const {
        return stopped_;
    }

private:
    bool stopped_ = false;
    int fd_;
};

// A statement file, closed when it goes out of scope.
class DbStatementFile {
public:
    explicit DbStatementFile(const char* path) : fp_(fopen(path, "rbe")) {}
    DbStatementFile(const DbStatementFile&) = delete;
    DbStatementFile& operator=(const DbStatementFile&) = delete;
    ~DbStatementFile() {
        if (fp_ != nullptr) {
            fclose(fp_);
        }
    }
    FILE* get() const {
        return fp_;
    }

private:
    FILE* fp_;
};

// Appends at the end of the text in out with the room that is left, so the text is cut
// silently at capacity - 1 characters and later appends add nothing.
__attribute__((format(printf, 3, 4))) static void db_append(char* out, size_t capacity, const char* fmt,
                                                            ...) {
    size_t len = strnlen(out, capacity);
    if (len >= capacity) {
        return;
    }
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(out + len, capacity - len, fmt, ap);
    va_end(ap);
}

int db_format_result(void* handle, void* stmt, int columns, char* out, size_t capacity) {
    char value[DB_VALUE_SIZE];
    memset(value, 0, sizeof value);
    db_append(out, capacity, "\n");
    for (int i = 0; i < columns; i++) {
        const char* name = sqlite_query_column_name(handle, stmt, i);
        if (name != nullptr) {
            db_append(out, capacity, "%-16s", name);
        }
    }
    // Rows past a full text would add nothing, and a query may have no end of rows.
    int ret = 0;
    do {
        db_append(out, capacity, "\n");
        for (int i = 0; i < columns; i++) {
            sqlite_query_column_text(stmt, i, value, sizeof value);
            db_append(out, capacity, i + 1 < columns ? "%-16s" : "%s", value);
        }
    } while (strnlen(out, capacity) + 1 < capacity && (ret = sqlite_query_next(stmt)) == 0);
    db_append(out, capacity, "\n");
    return ret;
}

static int db_query(const char* sql, char* out, size_t capacity) {
    if (!is_db_init()) {
        return -1;
    }
    DbLock lock;
    if (lock.stopped()) {
        return -1;
    }
    void* stmt = nullptr;
    int columns = 0;
    int ret = sqlite_query_record(db_handle, sql, &stmt, &columns);
    if (ret != 0 || columns == 0) {
        if (stmt != nullptr) {
            sqlite_clear_stmt(stmt);
        }
        lock.release();
        // A query that failed (a damaged file, a bad statement) is told apart from one
        // that matched nothing, which is all the line below can say.
        if (ret < 0) {
            OSA_ERROR(DB_UNIT, "db_query", "query '%s' failed (sqlite error %d). \n", sql, -ret);
        }
        OSA_printf("[0 Items, No Match Records!] \n");
        return -1;
    }
    ret = db_format_result(db_handle, stmt, columns, out, capacity);
    sqlite_clear_stmt(stmt);
    lock.release();
    // Rows that stop at a damaged page are not the result: shown, they would pass
    // for the whole of it.
    if (ret < 0) {
        OSA_ERROR(DB_UNIT, "db_query", "query '%s' failed (sqlite error %d). \n", sql, -ret);
        return -1;
    }
    return 0;
}

static int db_select(const char* sql) {
    char result[DB_RESULT_SIZE];
    memset(result, 0, sizeof result);
    db_con_init();
    if (db_query(sql, result, sizeof result) != 0) {
        db_con_deinit();
        OSA_printf("SQL: '%s' Failed!! \n", sql);
        return -1;
    }
    OSA_printf("Query Result: %s \n", result);
    db_con_deinit();
    return 0;
}

static int db_execute(const char* sql) {
    if (!is_db_init()) {
        return -1;
    }
    DbLock lock;
    if (lock.stopped()) {
        return -1;
    }
    int ret = sqlite_execute(db_handle, sql);
    lock.release();
    if (ret != 0) {
        OSA_ERROR(DB_UNIT, "db_execute", "execute '%s' failed (sqlite error %d). \n", sql, ret);
        return -1;
    }
    return 0;
}

static int db_execute_cmd(const char* sql) {
    db_con_init();
    db_execute(sql);
    OSA_printf("End execute: '%s' \n", sql);
    db_con_deinit();
    return 0;
}

// Line by line, each line (or 255-character piece of a longer one) a statement of its
// own, each under the lock separately.
static int db_execute_file(const char* path) {
    char line[DB_LINE_SIZE];
    memset(line, 0, sizeof line);
    db_con_init();
    {
        DbStatementFile file(path);
        if (file.get() == nullptr) {
            OSA_ERROR(DB_UNIT, "db_execute_file", "file=[%s] open failed: %s. \n", path, strerror(errno));
        } else {
            while (fgets(line, sizeof line, file.get()) != nullptr && line[0] != '\0') {
                db_execute(line);
            }
        }
    }
    db_con_deinit();
    return 0;
}

static const char* db_option(int opt, const char* arg) {
    switch (opt) {
        case 's':
            db_select(arg);
            break;
        case 'e':
            db_execute_cmd(arg);
            break;
        case 'f':
            db_execute_file(arg);
            break;
        case 'd':
            db_set_database(arg);
            break;
        case 't':
            db_select(kTableListSql);
            break;
        default:
            break;
    }
    return nullptr;
}

// Options act at once, in command-line order, so a -d applies to the options after it.
// An unknown option ends the parsing with its own report, without the process.
static int db_init_param(int argc, char** argv) {
    if (option_loop(argc, argv, kDbOptions, db_option) != nullptr) {
        OSA_ERROR(DB_UNIT, "db_init_param", "Unknow option. \n");
        db_usage();
    }
    return 0;
}

static int db_usage(void) {
    print_module_usage(DB_MODULE_ID, kDbOptions);
    OSA_printf("DB table list: \n");
    if (db_path[0] == '\0') {
        db_set_database("tqdb");
    }
    db_select(kTableListSql);
    return 0;
}

static int db_test_main(int argc, char** argv) {
    db_default_file_init();
    db_set_database("tqdb");
    db_init_param(argc, argv);
    return 0;
}

MODULE_REGISTRATION(db, DB_MODULE_ID, nullptr, kDbOptions)
