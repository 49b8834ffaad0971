/* SPDX-License-Identifier: GPL-2.0 */
/* The test camera's NAND fault (nand-fault.c): 0, or the error a request gets. */
#ifndef NAND_FAULT_H
#define NAND_FAULT_H

#include <linux/types.h>

struct mtd_info;
int nand_fault(struct mtd_info* mtd, loff_t offs);

#endif
