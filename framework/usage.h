// SPDX-License-Identifier: Apache-2.0
// Option tables and the shared module usage printer.
#pragma once

#include <getopt.h>
#include <stddef.h>
#include <stdint.h>

#include <utility>

struct option_help {
    const char* arg_kind;  // shown in brackets; "" shows nothing
    const char* help;
};

// One row per option: what getopt_long needs and what the usage printer shows.
// A row with a null help has no help row (an option the usage does not list).
// A row whose value is a letter gives getopt that letter as its short option too,
// with the row's argument kind, unless short_form says the letter is left out.
struct OptionRow {
    const char* name;
    int has_arg;
    int val;
    const char* kind;
    const char* help;
    bool short_form = true;
};

// The conversion the documents give most numeric options: strtoul in base 0 (so
// "0x10", "010" and "16" all work, trailing text is ignored, text without digits
// gives 0, "-1" is all bits set), cut to 32 bits.
uint32_t option_number(const char* text);

// What a module's parser does with one option: nullptr when it took it, otherwise the
// error text that ends the parsing.
using OptionTaker = const char* (*)(int opt, const char* arg);

// What option_loop gives for '?' (an unknown option or a missing argument).
extern const char kUnknownOption[];

// getopt_long over the whole vector from its start, each option handed to `take` in
// command-line order, until the options end (nullptr) or the first error, which is
// returned; '?' is the error kUnknownOption and does not reach `take`.
const char* option_loop(int argc, char** argv, const char* short_options, const struct option* longopts,
                        OptionTaker take);

// Who answers a rejected option: the report on standard error (the error prefix
// naming unit and function, then the error text), then the module's usage.
struct OptionReport {
    const char* unit;
    const char* function;
    int (*usage)(void);
};

// option_loop, and a rejected option answered as `report` says: -1 then, 0 when every
// option was taken.
int option_parse(int argc, char** argv, const char* short_options, const struct option* longopts,
                 OptionTaker take, const OptionReport& report);

// Reached only when a table lists a row with help after one without: the printer
// pairs option k with help row k, so the rows the usage does not show come last.
void option_rows_without_help_must_come_last();

template <size_t N>
constexpr unsigned int count_help_rows(const OptionRow (&rows)[N]) {
    unsigned int count = 0;
    for (size_t i = 0; i < N; i++) {
        if (rows[i].help != nullptr) {
            if (count != i) {
                option_rows_without_help_must_come_last();
            }
            count++;
        }
    }
    return count;
}

constexpr bool option_is_letter(int val) {
    return (val >= 'a' && val <= 'z') || (val >= 'A' && val <= 'Z');
}

// The getopt_long table (with its terminating zero record), the parallel help table
// and the short-option string, all derived at compile time from one array of rows so
// they cannot drift. The string is `prefix` (getopt's leading flags and the letters
// that have no row, each with its colons), then every row's letter: "x" for no
// argument, "x:" for a required one, "x::" for an optional one.
template <size_t N, size_t P = 1>
struct OptionTable {
    struct option longopts[N + 1];
    option_help help[N];
    unsigned int help_count;
    char short_options[P + 3 * N];

    constexpr explicit OptionTable(const OptionRow (&rows)[N], const char (&prefix)[P] = "")
        : OptionTable(rows, prefix, std::make_index_sequence<N>()) {}

private:
    template <size_t... I>
    constexpr OptionTable(const OptionRow (&rows)[N], const char (&prefix)[P], std::index_sequence<I...>)
        : longopts{{rows[I].name, rows[I].has_arg, nullptr, rows[I].val}..., {nullptr, 0, nullptr, 0}},
          help{{rows[I].kind, rows[I].help}...},
          help_count(count_help_rows(rows)),
          short_options{} {
        size_t n = 0;
        for (size_t i = 0; i + 1 < P; i++) {
            short_options[n++] = prefix[i];
        }
        for (const OptionRow& row : rows) {
            if (!row.short_form || !option_is_letter(row.val)) {
                continue;
            }
            short_options[n++] = static_cast<char>(row.val);
            for (int colons = row.has_arg; colons > 0; colons--) {
                short_options[n++] = ':';
            }
        }
    }
};

// One row: "-x  " or four blanks, "--name", " [kind]" and a tab when there is a kind,
// otherwise gap_without_kind; then the help text and a newline.
void print_option_row(const struct option& opt, const option_help& help, const char* gap_without_kind);
void print_repeat_char(unsigned int count, char c);
int print_module_usage(unsigned int id, const struct option* opts, const option_help* help,
                       unsigned int count);

template <size_t N, size_t P>
const char* option_loop(int argc, char** argv, const OptionTable<N, P>& table, OptionTaker take) {
    return option_loop(argc, argv, table.short_options, table.longopts, take);
}

template <size_t N, size_t P>
int option_parse(int argc, char** argv, const OptionTable<N, P>& table, OptionTaker take,
                 const OptionReport& report) {
    return option_parse(argc, argv, table.short_options, table.longopts, take, report);
}

// The usage of a module whose table is `table`: every row that has help.
template <size_t N, size_t P>
int print_module_usage(unsigned int id, const OptionTable<N, P>& table) {
    return print_module_usage(id, table.longopts, table.help, table.help_count);
}
