// SPDX-License-Identifier: Apache-2.0
// The wifi module's record and steps, open to the unit tests.
#pragma once

#include "platform/wifi/wifi.h"

extern wifi_record wifi_param;
extern bool wifi_config_pending;

int wifi_init_param(int argc, char** argv);
void wifi_adjust_param(void);
int wifi_test_main(int argc, char** argv);
int wifi_usage(void);
void wifi_print_help(void);
void wifi_print_example(void);
