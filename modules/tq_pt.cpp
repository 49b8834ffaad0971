// SPDX-License-Identifier: Apache-2.0
// pt: commands to the driver-board service through its second segment.
#include "modules/tq_drvboard.h"

#define PT_MODULE_ID 20
#define PT_SHM_KEY 7765432  // 0x767DB8

static pt_shm_cmd s_pt_cmd;
static const drvboard_module s_pt = {"tq_pt", PT_MODULE_ID, PT_SHM_KEY, "module name: pt", s_pt_cmd};

DRVBOARD_MODULE(pt, PT_MODULE_ID, s_pt)
