// SPDX-License-Identifier: Apache-2.0
// extdrv: commands to the driver-board service through its first segment.
#include "modules/tq_drvboard.h"

#define EXTDRV_MODULE_ID 24
#define EXTDRV_SHM_KEY 7765433  // 0x767DB9

static pt_shm_cmd s_extdrv_cmd;
static const drvboard_module s_extdrv = {"tq_extdrv", EXTDRV_MODULE_ID, EXTDRV_SHM_KEY, "module name: extdrv",
                                         s_extdrv_cmd};

DRVBOARD_MODULE(extdrv, EXTDRV_MODULE_ID, s_extdrv)
