// SPDX-License-Identifier: Apache-2.0
#include "platform/common/tq_common.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/common/unique_fd.h"

extern "C" int tq_free_system_caches(void) {
    sync();
    // No O_CREAT: where the kernel has no such file there is nothing to drop.
    UniqueFd fd(open(TQ_DROP_CACHES_PATH, O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (!fd) {
        return -1;
    }
    return write(fd.get(), "3", 1) == 1 ? 0 : -1;
}
