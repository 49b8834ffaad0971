// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "osa/osa.h"

namespace {

class CheckIp : public ::testing::TestWithParam<std::pair<const char*, int>> {};

TEST_P(CheckIp, Verdict) {
    EXPECT_EQ(CheckIPAddr(GetParam().first), GetParam().second)
        << "'" << (GetParam().first ? GetParam().first : "(null)") << "'";
}

INSTANTIATE_TEST_SUITE_P(Texts, CheckIp,
                         ::testing::Values(std::make_pair("192.168.1.1", 1), std::make_pair("0.0.0.0", 1),
                                           std::make_pair("255.255.255.255", 1),
                                           std::make_pair("256.1.1.1", 0), std::make_pair("1.2.3", 0),
                                           std::make_pair("1.2.3.4.5", 0), std::make_pair("1.2.3.4\n", 0),
                                           std::make_pair("1.2.3.4 ", 0), std::make_pair("010.1.1.1", 1),
                                           std::make_pair("+1.2.3.4", 1), std::make_pair("1.2.3.-0", 1),
                                           std::make_pair("1.2.3.-1", 0), std::make_pair("1. 2.3.4", 1),
                                           std::make_pair("1 .2.3.4", 0), std::make_pair("", 0),
                                           std::make_pair(nullptr, 0), std::make_pair("1,2.3.4", 0),
                                           std::make_pair("1.2.3.4x", 0),
                                           std::make_pair("99999999999.1.1.1", 0)));

}  // namespace
