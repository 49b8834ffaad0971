// Option tables and the shared module usage printer.
#pragma once

#include <getopt.h>
#include <stddef.h>

#include <utility>

struct option_help {
    const char* arg_kind;  // shown in brackets; "" shows nothing
    const char* help;
};

// One row per option: what getopt_long needs and what the usage printer shows.
// A row with a null help has no help row (an option the usage does not list).
struct OptionRow {
    const char* name;
    int has_arg;
    int val;
    const char* kind;
    const char* help;
};

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

// The getopt_long table (with its terminating zero record) and the parallel help
// table, both derived at compile time from one array of rows so they cannot drift.
template <size_t N>
struct OptionTable {
    struct option longopts[N + 1];
    option_help help[N];
    unsigned int help_count;

    constexpr explicit OptionTable(const OptionRow (&rows)[N])
        : OptionTable(rows, std::make_index_sequence<N>()) {}

private:
    template <size_t... I>
    constexpr OptionTable(const OptionRow (&rows)[N], std::index_sequence<I...>)
        : longopts{{rows[I].name, rows[I].has_arg, nullptr, rows[I].val}..., {nullptr, 0, nullptr, 0}},
          help{{rows[I].kind, rows[I].help}...},
          help_count(count_help_rows(rows)) {}
};

// One row: "-x  " or four blanks, "--name", " [kind]" and a tab when there is a kind,
// otherwise gap_without_kind; then the help text and a newline.
void print_option_row(const struct option& opt, const option_help& help, const char* gap_without_kind);
void print_repeat_char(unsigned int count, char c);
int print_module_usage(unsigned int id, const struct option* opts, const option_help* help,
                       unsigned int count);
