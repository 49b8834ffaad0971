// SPDX-License-Identifier: GPL-2.0
/*
 * A fault for the real-kernel test camera, built into our out-of-tree raw NAND core
 * (kernel/build has nand_block_isbad ask it first): the bad-block requests for one
 * erase block fail, as when the chip does not answer. The block, numbered over the
 * whole chip (-1: none), is /sys/module/nand/parameters/failing_block. A test
 * fixture, never shipped.
 */
#include <linux/errno.h>
#include <linux/moduleparam.h>
#include <linux/mtd/mtd.h>

#include "nand-fault.h"

static int failing_block = -1;
module_param(failing_block, int, 0644);
MODULE_PARM_DESC(failing_block, "erase block whose bad-block requests fail, -1 for none");

int nand_fault(struct mtd_info* mtd, loff_t offs) {
    return failing_block >= 0 && mtd_div_by_eb(offs, mtd) == failing_block ? -EIO : 0;
}
