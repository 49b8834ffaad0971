// SPDX-License-Identifier: Apache-2.0
#include "platform/db/db_wrapper.h"

#include <dlfcn.h>
#include <pthread.h>
#include <sqlite3.h>
#include <stdio.h>
#include <string.h>

#include <utility>

// SQLite is loaded by the first connection, not by the loader at start-up: no other
// module calls it, and on a camera image without it (or with a broken one) every other
// module must still run. sqlite3.h is included for its types and constants only.
static const char kSqliteLibrary[] = "libsqlite3.so.0";

// SQLite calls its own exported functions through its PLT, and binding those (about
// 1,500) is most of the cost of loading it: looked up in its own scope first, each is
// found at once instead of after the program and the C library. The sanitizers' runtime
// must come first in every scope and refuses such a library, so their builds keep the
// default order. Unloading at exit would only repeat what the end of the process does.
#ifdef DB_WRAPPER_SHARED_SCOPE
static const int kSqliteOpenFlags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;
#else
static const int kSqliteOpenFlags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE | RTLD_DEEPBIND;
#endif

// The SQLite entry points this library calls, one per row; each is looked up by its
// name and called through a pointer of the type sqlite3.h declares for it.
#define SQLITE_ENTRY_POINTS(X)  \
    X(sqlite3_open_v2)          \
    X(sqlite3_busy_timeout)     \
    X(sqlite3_progress_handler) \
    X(sqlite3_close)            \
    X(sqlite3_close_v2)         \
    X(sqlite3_exec)             \
    X(sqlite3_get_autocommit)   \
    X(sqlite3_prepare_v2)       \
    X(sqlite3_step)             \
    X(sqlite3_finalize)         \
    X(sqlite3_column_count)     \
    X(sqlite3_data_count)       \
    X(sqlite3_column_name)      \
    X(sqlite3_column_text)      \
    X(sqlite3_column_bytes)

namespace {

struct SqliteApi {
#define SQLITE_POINTER(name) decltype(&::name) name;
    SQLITE_ENTRY_POINTS(SQLITE_POINTER)
#undef SQLITE_POINTER
};

// A handle from dlopen, closed when it goes out of scope.
class SharedLibrary {
public:
    constexpr SharedLibrary() = default;
    explicit SharedLibrary(void* handle) : handle_(handle) {}
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    SharedLibrary& operator=(SharedLibrary&& other) {
        reset(other.handle_);
        other.handle_ = nullptr;
        return *this;
    }
    ~SharedLibrary() {
        reset(nullptr);
    }
    void* get() const {
        return handle_;
    }

private:
    void reset(void* handle) {
        if (handle_ != nullptr) {
            dlclose(handle_);
        }
        handle_ = handle;
    }
    void* handle_ = nullptr;
};

SharedLibrary s_library;
SqliteApi s_sqlite;
bool s_loaded = false;
pthread_once_t s_load_once = PTHREAD_ONCE_INIT;

bool look_up(void* library, SqliteApi& api) {
#define SQLITE_LOOK_UP(name)                                                \
    api.name = reinterpret_cast<decltype(api.name)>(dlsym(library, #name)); \
    if (api.name == nullptr) {                                              \
        return false;                                                       \
    }
    SQLITE_ENTRY_POINTS(SQLITE_LOOK_UP)
#undef SQLITE_LOOK_UP
    return true;
}

// Tried once per process; a failure is reported here, once, because only here is its
// reason known, and every connection after it fails quietly.
void load_sqlite() {
    SharedLibrary library(dlopen(kSqliteLibrary, kSqliteOpenFlags));
    SqliteApi api{};
    if (library.get() == nullptr || !look_up(library.get(), api)) {
        const char* reason = dlerror();
        fprintf(stderr, "db: %s cannot be loaded, so no database can be opened: %s\n", kSqliteLibrary,
                reason != nullptr ? reason : "no reason given");
        return;
    }
    s_sqlite = api;
    s_library = std::move(library);
    s_loaded = true;
}

// The entry points, or null when SQLite cannot be loaded. Only a connection needs to
// ask: every other call is handed a connection or a statement that one made.
const SqliteApi* sqlite() {
    pthread_once(&s_load_once, load_sqlite);
    return s_loaded ? &s_sqlite : nullptr;
}

}  // namespace

// How many virtual-machine steps a statement runs between two questions to the stop
// query: often enough to stop within milliseconds, rarely enough to cost nothing.
static const int kStopCheckSteps = 1000;

// A statement that returned is on the flash, whenever the power goes after it. The
// journal mode is left as the file has it: the factory copies use the rollback journal
// (DELETE), and the camera's other processes open the same files. WAL would give them
// -wal and -shm files and shared memory they do not expect, and a connection cannot set
// a mode that others have open anyway. With the rollback journal a commit is the
// journal's deletion; FULL syncs the journal and the database but not the deletion, so
// a power cut soon after a commit could bring the journal back and roll the committed
// statement back at the next open. EXTRA syncs the directory after the deletion too,
// for one more sync per commit.
static const char kDurableCommits[] = "pragma synchronous = extra;";

// The setting is not kept in the file, and it needs the schema, which opening a
// connection does not read (a locked or damaged file must fail the statement, as it
// did, not the connection). So it is made before each statement that starts outside a
// transaction; inside one it cannot be changed, and the statement that began it made
// it. Its failure is the statement's: the statement would meet the same lock or damage.
static int make_durable(sqlite3* db) {
    if (s_sqlite.sqlite3_get_autocommit(db) == 0) {
        return SQLITE_OK;
    }
    return s_sqlite.sqlite3_exec(db, kDurableCommits, nullptr, nullptr, nullptr);
}

static int (*s_stop_query)(void) = nullptr;

// Non-zero interrupts the statement in progress.
static int stop_requested(void*) {
    return s_stop_query != nullptr && s_stop_query() != 0;
}

void sqlite_set_stop_query(int (*stop_requested)(void)) {
    s_stop_query = stop_requested;
}

static sqlite3* as_db(void* handle) {
    return static_cast<sqlite3*>(handle);
}

static sqlite3_stmt* as_stmt(void* stmt) {
    return static_cast<sqlite3_stmt*>(stmt);
}

int sqlite_conn(const char* path, const char* key, void** handle) {
    if (handle == nullptr) {
        return -1;
    }
    *handle = nullptr;
    // Ignoring a key would hand back a connection on which every read of an encrypted
    // file fails later, far from the cause.
    if (path == nullptr || (key != nullptr && key[0] != '\0')) {
        return -1;
    }
    const SqliteApi* api = sqlite();
    if (api == nullptr) {
        return -1;
    }
    sqlite3* db = nullptr;
    // Opening may leave a connection object behind even when it fails; close it too.
    if (api->sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        api->sqlite3_close(db);
        return -1;
    }
    api->sqlite3_busy_timeout(db, SQLITE_WRAPPER_BUSY_TIMEOUT_MS);
    api->sqlite3_progress_handler(db, kStopCheckSteps, stop_requested, nullptr);
    *handle = db;
    return 0;
}

int sqlite_disconn(void* handle) {
    if (handle == nullptr) {
        return -1;
    }
    // close_v2 lets a statement that was never cleared go with the connection instead of
    // keeping the connection open.
    s_sqlite.sqlite3_close_v2(as_db(handle));
    return 0;
}

int sqlite_execute(void* handle, const char* sql) {
    if (handle == nullptr || sql == nullptr) {
        return -1;
    }
    int rc = make_durable(as_db(handle));
    if (rc != SQLITE_OK) {
        return rc;
    }
    return s_sqlite.sqlite3_exec(as_db(handle), sql, nullptr, nullptr, nullptr);
}

int sqlite_query_record(void* handle, const char* sql, void** stmt, int* columns) {
    if (stmt == nullptr || columns == nullptr) {
        return -1;
    }
    *stmt = nullptr;
    *columns = 0;
    if (handle == nullptr || sql == nullptr) {
        return -1;
    }
    // A query may write too (an insert with returning).
    int rc = make_durable(as_db(handle));
    if (rc != SQLITE_OK) {
        return -rc;
    }
    sqlite3_stmt* s = nullptr;
    rc = s_sqlite.sqlite3_prepare_v2(as_db(handle), sql, -1, &s, nullptr);
    if (rc != SQLITE_OK) {
        s_sqlite.sqlite3_finalize(s);
        return -rc;
    }
    // Text with no statement in it (blank, a comment) prepares to nothing: no row.
    if (s == nullptr) {
        return 1;
    }
    rc = s_sqlite.sqlite3_step(s);
    if (rc != SQLITE_ROW) {
        s_sqlite.sqlite3_finalize(s);
        return rc == SQLITE_DONE ? 1 : -rc;
    }
    *stmt = s;
    *columns = s_sqlite.sqlite3_column_count(s);
    return 0;
}

int sqlite_query_next(void* stmt) {
    if (stmt == nullptr) {
        return -1;
    }
    // Stepping a finished statement would run it again from the start.
    if (s_sqlite.sqlite3_data_count(as_stmt(stmt)) == 0) {
        return 1;
    }
    int rc = s_sqlite.sqlite3_step(as_stmt(stmt));
    if (rc == SQLITE_ROW) {
        return 0;
    }
    return rc == SQLITE_DONE ? 1 : -rc;
}

const char* sqlite_query_column_name(void* handle, void* stmt, int index) {
    if (handle == nullptr || stmt == nullptr || index < 0 ||
        index >= s_sqlite.sqlite3_column_count(as_stmt(stmt))) {
        return nullptr;
    }
    return s_sqlite.sqlite3_column_name(as_stmt(stmt), index);
}

// The length of the longest prefix of text[0..len) that fits in room bytes without
// splitting a UTF-8 sequence: a cut that lands on a continuation byte moves back to the
// start of its character.
static size_t utf8_prefix(const unsigned char* text, size_t len, size_t room) {
    if (len <= room) {
        return len;
    }
    size_t cut = room;
    size_t back = 0;
    while (cut > 0 && back < 3 && (text[cut] & 0xC0) == 0x80) {
        cut--;
        back++;
    }
    return (text[cut] & 0xC0) == 0x80 ? room : cut;
}

int sqlite_query_column_text(void* stmt, int index, char* buf, int capacity) {
    if (stmt == nullptr || buf == nullptr || capacity < 1) {
        return -1;
    }
    buf[0] = '\0';
    sqlite3_stmt* s = as_stmt(stmt);
    // Without a current row, or past its last column, SQLite's answer is undefined.
    if (index < 0 || index >= s_sqlite.sqlite3_data_count(s)) {
        return 0;
    }
    const unsigned char* text = s_sqlite.sqlite3_column_text(s, index);
    if (text == nullptr) {
        return 0;
    }
    // A value may hold NUL bytes; the caller gets the text up to the first of them.
    size_t len = strnlen(reinterpret_cast<const char*>(text),
                         static_cast<size_t>(s_sqlite.sqlite3_column_bytes(s, index)));
    size_t n = utf8_prefix(text, len, static_cast<size_t>(capacity) - 1);
    memcpy(buf, text, n);
    buf[n] = '\0';
    return n < len ? 1 : 0;
}

int sqlite_clear_stmt(void* stmt) {
    if (stmt != nullptr) {
        s_sqlite.sqlite3_finalize(as_stmt(stmt));
    }
    return 0;
}
