// SPDX-License-Identifier: Apache-2.0
#include "framework/usage.h"

#include <ctype.h>
#include <stdlib.h>

#include "framework/module.h"
#include "framework/test.h"
#include "osa/osa.h"

uint32_t option_number(const char* text) {
    return static_cast<uint32_t>(strtoul(text, nullptr, 0));
}

const char kUnknownOption[] = "Unknow option\n";

const char* option_loop(int argc, char** argv, const char* short_options, const struct option* longopts,
                        OptionTaker take) {
    optind = 0;
    int opt;
    while ((opt = getopt_long(argc, argv, short_options, longopts, nullptr)) != -1) {
        const char* error = opt == '?' ? kUnknownOption : take(opt, optarg);
        if (error != nullptr) {
            return error;
        }
    }
    return nullptr;
}

int option_parse(int argc, char** argv, const char* short_options, const struct option* longopts,
                 OptionTaker take, const OptionReport& report) {
    const char* error = option_loop(argc, argv, short_options, longopts, take);
    if (error == nullptr) {
        return 0;
    }
    OSA_ERROR(report.unit, report.function, "%s", error);
    report.usage();
    return -1;
}

void print_repeat_char(unsigned int count, char c) {
    for (unsigned int i = 0; i < count; i++) {
        OSA_putchar(c);
    }
}

// The same row layout serves the general usage, which differs only in the gap
// before a help text that has no kind.
void print_option_row(const struct option& opt, const option_help& help, const char* gap_without_kind) {
    if (opt.val >= 0 && opt.val <= 255 && isalpha(opt.val)) {
        OSA_printf("-%c  ", opt.val);
    } else {
        OSA_printf("    ");
    }
    OSA_printf("--%s", opt.name);
    if (help.arg_kind[0] != '\0') {
        OSA_printf(" [%s]", help.arg_kind);
        OSA_printf("\t%s\n", help.help);
    } else {
        OSA_printf("%s%s\n", gap_without_kind, help.help);
    }
}

int print_module_usage(unsigned int id, const char* module_help, const struct option* opts,
                       const option_help* help, unsigned int count) {
    if (id > MODULE_ID_MAX) {
        return 0;
    }
    const char* name = nullptr;
    for (int i = 0; i <= MODULE_ID_MAX && name == nullptr; i++) {
        if (g_module_table[i].name != nullptr && g_module_table[i].id == id) {
            name = g_module_table[i].name;
        }
    }
    if (name == nullptr) {
        return 0;
    }
    print_repeat_char(80, '*');
    OSA_printf("\n%s usage:\n", name);
    OSA_printf("%s -M %s [option] \n", g_prog_name, name);
    for (unsigned int k = 0; k < count; k++) {
        print_option_row(opts[k], k == 0 ? option_help{"module", module_help} : help[k - 1], "\t\t");
    }
    print_repeat_char(80, '*');
    OSA_printf("\n");
    return 0;
}
