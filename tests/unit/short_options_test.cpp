// SPDX-License-Identifier: Apache-2.0
// Every module as the program links them: the short-option string each derives from
// its option table accepts what its documents give, letter for letter.
#include <gtest/gtest.h>
#include <stdio.h>

#include <fstream>
#include <map>
#include <string>

#include "framework/module.h"

namespace {

struct Documented {
    const char* module;
    const char* short_options;
};

// clang-format off
const Documented kDocumented[] = {
    {"adc", "M:c:t:d:N:D:s:g:i"},
    {"gpio", "M:r:w:d:t:D:p:"},
    {"pwm", "M:c:d:p:e:"},
    {"ptz", "M:d:S:B:P:s:c:g:t"},
    {"cpu", "M:d:c:l:v"},
    {"motor", "M:t:d:s:i:p:"},
    {"sdmmc", "M:n:z:isrfFm"},
    {"db", "M:s:e:f:d:t"},
    {"ir", "M:l:c:m:t:d:"},
    {"wifi", "M:m:e:c:"},
    {"media", "M:a"},
    {"pt", "M:w:q:a:f:d:c:p:t:s:i:o:e:l:r:u:n:g:k:b:j:x:y:W:O:V:P:F:L:E:T:R:z:m:A:"},
    {"mtd", "M:b:"},
    {"extdrv", "M:w:q:a:f:d:c:p:t:s:i:o:e:l:r:u:n:g:k:b:j:x:y:W:O:V:P:F:L:E:T:R:z:m:A:"},
};
// clang-format on

// What getopt makes of a short-option string: its leading flags, and each letter with
// its argument kind (0 none, 1 required, 2 optional). The first of a repeated letter
// is the one getopt uses.
struct Accepted {
    std::string flags;
    std::map<char, int> letters;
    bool operator==(const Accepted& o) const {
        return flags == o.flags && letters == o.letters;
    }
};

Accepted accepted(const std::string& s) {
    Accepted a;
    size_t i = 0;
    while (i < s.size() && (s[i] == '+' || s[i] == '-' || s[i] == ':')) {
        a.flags += s[i++];
    }
    while (i < s.size()) {
        char letter = s[i++];
        int colons = 0;
        while (i < s.size() && s[i] == ':' && colons < 2) {
            colons++;
            i++;
        }
        a.letters.emplace(letter, colons);
    }
    return a;
}

std::string describe(const Accepted& a) {
    std::string out = "flags '" + a.flags + "' letters";
    for (const auto& [letter, kind] : a.letters) {
        out += std::string(" ") + letter + std::string(static_cast<size_t>(kind), ':');
    }
    return out;
}

// Whether the process maps `address` without write permission (/proc/self/maps).
bool read_only(const void* address) {
    const unsigned long at = reinterpret_cast<unsigned long>(address);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        unsigned long from, to;
        char perms[5];
        if (sscanf(line.c_str(), "%lx-%lx %4s", &from, &to, perms) == 3 && at >= from && at < to) {
            return perms[1] != 'w';
        }
    }
    return false;
}

class ShortOptions : public ::testing::TestWithParam<Documented> {};

TEST_P(ShortOptions, DerivedStringAcceptsTheDocumentedLetters) {
    const module_record* record = module_find(GetParam().module);
    ASSERT_NE(record, nullptr);
    ASSERT_NE(record->short_options, nullptr);
    Accepted derived = accepted(record->short_options);
    Accepted documented = accepted(GetParam().short_options);
    EXPECT_TRUE(derived == documented) << "derived " << record->short_options << ": " << describe(derived)
                                       << "\ndocumented: " << describe(documented);
}

// The option tables hold pointers, so they can be read-only only once relocated; a
// table declared otherwise than option_table() shows can end up in writable data.
TEST_P(ShortOptions, TableIsReadOnly) {
    const module_record* record = module_find(GetParam().module);
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(read_only(record->short_options));
}

INSTANTIATE_TEST_SUITE_P(AllModules, ShortOptions, ::testing::ValuesIn(kDocumented),
                         [](const ::testing::TestParamInfo<Documented>& info) {
                             return std::string(info.param.module);
                         });

TEST(ShortOptionsTable, ListsEveryRegisteredModule) {
    EXPECT_EQ(g_module_count, static_cast<int>(sizeof kDocumented / sizeof kDocumented[0]));
}

}  // namespace
