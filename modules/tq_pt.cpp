// pt: commands to the driver-board service through its second segment.
#include "framework/module.h"
#include "modules/tq_drvboard.h"

#define PT_MODULE_ID 20
#define PT_SHM_KEY 7765432  // 0x767DB8

static pt_shm_cmd s_pt_cmd;
static constexpr DrvboardOptions kPtOptions = drvboard_options("module name: pt");
static const drvboard_module s_pt = {"tq_pt", PT_MODULE_ID, PT_SHM_KEY, kPtOptions, s_pt_cmd};

static int pt_usage(void) {
    return drvboard_usage(s_pt);
}

static int pt_test_main(int argc, char** argv) {
    return drvboard_test_main(s_pt, argc, argv);
}

static module_record s_pt_module = {
    "pt", PT_MODULE_ID, pt_test_main, pt_usage, nullptr, kPtOptions.short_options,
};
MODULE_REGISTRATION(pt, s_pt_module)
