// SPDX-License-Identifier: Apache-2.0
// The camera's database wrapper: connections, statements and query rows over SQLite 3.
//
// Handles are opaque pointers. A connection opens an existing file read-write (it never
// creates one) and waits up to SQLITE_WRAPPER_BUSY_TIMEOUT_MS for a database that
// another connection has locked, so that concurrent writers queue instead of failing.
#pragma once

#define SQLITE_WRAPPER_BUSY_TIMEOUT_MS 5000

#ifdef __cplusplus
extern "C" {
#endif

// Opens the database file at path and stores the connection in *handle. Encrypted
// databases are not supported: a non-empty key is refused without opening anything.
// Returns 0 on success; -1 otherwise, with *handle set to null.
int sqlite_conn(const char* path, const char* key, void** handle);

// What every connection asks while it runs a statement or steps a query: whether the
// caller has been asked to stop. When the query answers non-zero, the statement is
// interrupted and fails with SQLITE_INTERRUPT, so that a query that would step for ever
// (a recursive one without end) can be stopped. Null (the default) never interrupts.
void sqlite_set_stop_query(int (*stop_requested)(void));

// Closes the connection. Returns 0, or -1 for a null handle.
int sqlite_disconn(void* handle);

// Executes the statements in sql. Returns 0 on success, SQLite's (positive) result code
// when a statement fails, -1 for a null argument.
int sqlite_execute(void* handle, const char* sql);

// Prepares the first statement in sql and steps it to its first row: on success returns
// 0 with *stmt prepared and positioned there and *columns holding the result's column
// count. Returns 1 when the statement yields no row (or sql holds none), and when it
// fails SQLite's result code negated (-1 for a null argument); then *stmt is null
// (nothing to clear) and *columns 0.
int sqlite_query_record(void* handle, const char* sql, void** stmt, int* columns);

// Steps to the next row: 0 when there is one, 1 when the rows are exhausted, SQLite's
// result code negated on error (-1 for a null statement).
int sqlite_query_next(void* stmt);

// The name of a result column (from 0), or null for an index out of range.
const char* sqlite_query_column_name(void* handle, void* stmt, int index);

// Copies the current row's value of a column as text into buf: at most capacity - 1
// bytes and a NUL, cut before a UTF-8 character that does not fit whole. NULL (and an
// index out of range) gives the empty text. Returns 0, 1 when the value was cut, -1 for a
// null argument or a capacity below 1.
int sqlite_query_column_text(void* stmt, int index, char* buf, int capacity);

// Releases a prepared statement; a null one is ignored. Returns 0.
int sqlite_clear_stmt(void* stmt);

#ifdef __cplusplus
}
#endif
