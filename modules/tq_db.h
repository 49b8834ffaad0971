// SPDX-License-Identifier: Apache-2.0
// The db module's result text, apart from where the rows come from.
#pragma once

#include <stddef.h>

// Appends the text of a query's result to the text in out: a newline, the column names
// (16 wide), then one line per row from the current one on (values 16 wide but the
// last), and a closing newline. The text is cut at capacity - 1 characters, and the
// statement is stepped no further once it is full. Returns the last step's result: 1 at
// the end of the rows, negative when the rows stopped at an error, 0 when the text
// filled up first.
int db_format_result(void* handle, void* stmt, int columns, char* out, size_t capacity);
