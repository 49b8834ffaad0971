// SPDX-License-Identifier: Apache-2.0
#include "framework/test.h"

int main(int argc, char** argv) {
    return test_main(argc, argv);
}
