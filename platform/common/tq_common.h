// SPDX-License-Identifier: Apache-2.0
// The camera's common utility library (the part this program calls).
#pragma once

#define TQ_DROP_CACHES_PATH "/proc/sys/vm/drop_caches"

extern "C" {

// Writes dirty pages back (sync), then asks the kernel to drop the page cache and the
// dentry and inode caches. Failures are ignored; returns 0, or -1 when the caches could
// not be dropped.
int tq_free_system_caches(void);
}
