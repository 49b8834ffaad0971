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
// they cannot drift. Every module is reached through -M, so the getopt table begins
// with the framework's "module" row (required argument, value 'M'), shown in the usage
// with the kind "module" and `module_help`, the text that names the module; the
// module's own rows and their help rows follow. The string is `prefix` (getopt's
// leading flags and the letters that have no row, each with its colons), then "M:"
// and every row's letter: "x" for no argument, "x:" for a required one, "x::" for an
// optional one.
template <size_t N, size_t P = 1>
struct OptionTable {
    struct option longopts[N + 2];
    const char* module_help;
    option_help help[N];      // help[k] belongs to longopts[k + 1]
    unsigned int help_count;  // usage rows, the -M row included
    char short_options[P + 2 + 3 * N];

    constexpr OptionTable(const char* module_help_text, const OptionRow (&rows)[N],
                          const char (&prefix)[P] = "")
        : OptionTable(module_help_text, rows, prefix, std::make_index_sequence<N>()) {}

private:
    template <size_t... I>
    constexpr OptionTable(const char* module_help_text, const OptionRow (&rows)[N], const char (&prefix)[P],
                          std::index_sequence<I...>)
        : longopts{{"module", required_argument, nullptr, 'M'},
                   {rows[I].name, rows[I].has_arg, nullptr, rows[I].val}...,
                   {nullptr, 0, nullptr, 0}},
          module_help(module_help_text),
          help{{rows[I].kind, rows[I].help}...},
          help_count(1 + count_help_rows(rows)),
          short_options{} {
        size_t n = 0;
        for (size_t i = 0; i + 1 < P; i++) {
            short_options[n++] = prefix[i];
        }
        short_options[n++] = 'M';
        short_options[n++] = ':';
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

// How a module declares its table, `constexpr auto kOptions = option_table("module name:
// x", {rows});`, so that the row count is deduced. Not by deducing the class template
// from the constructor: GCC 12 then puts a table that a module record points to in
// writable data instead of the read-only relocated data.
template <size_t N, size_t P = 1>
constexpr OptionTable<N, P> option_table(const char* module_help, const OptionRow (&rows)[N],
                                         const char (&prefix)[P] = "") {
    return OptionTable<N, P>(module_help, rows, prefix);
}

// One row: "-x  " or four blanks, "--name", " [kind]" and a tab when there is a kind,
// otherwise gap_without_kind; then the help text and a newline.
void print_option_row(const struct option& opt, const option_help& help, const char* gap_without_kind);
void print_repeat_char(unsigned int count, char c);
// The usage frame around `count` rows: opts[0], the -M row, with `module_help`, then
// opts[k] with help[k - 1].
int print_module_usage(unsigned int id, const char* module_help, const struct option* opts,
                       const option_help* help, unsigned int count);

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
    return print_module_usage(id, table.module_help, table.longopts, table.help, table.help_count);
}
