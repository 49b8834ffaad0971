// extdrv: commands to the driver-board service through its first segment.
#include "framework/module.h"
#include "modules/tq_drvboard.h"

#define EXTDRV_MODULE_ID 24
#define EXTDRV_SHM_KEY 7765433  // 0x767DB9

static pt_shm_cmd s_extdrv_cmd;
static constexpr DrvboardOptions kExtdrvOptions = drvboard_options("module name: extdrv");
static const drvboard_module s_extdrv = {"tq_extdrv", EXTDRV_MODULE_ID, EXTDRV_SHM_KEY, kExtdrvOptions,
                                         s_extdrv_cmd};

static int extdrv_usage(void) {
    return drvboard_usage(s_extdrv);
}

static int extdrv_test_main(int argc, char** argv) {
    return drvboard_test_main(s_extdrv, argc, argv);
}

static module_record s_extdrv_module = {
    "extdrv", EXTDRV_MODULE_ID, extdrv_test_main, extdrv_usage, nullptr, kExtdrvOptions.short_options,
};
MODULE_REGISTRATION(extdrv, s_extdrv_module)
