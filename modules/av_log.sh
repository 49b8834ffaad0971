#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Refreshes the media pipeline's state logs, /tmp/media/<component>.log, from the state
# files the media driver keeps, one per component, in $MEDIA_STATE_DIR (default
# /proc/media). A component whose state file is missing or unreadable keeps the log
# it has. Prints nothing; the debug media module runs it before it reads the logs.

src=${MEDIA_STATE_DIR:-/proc/media}
dst=/tmp/media

mkdir -p "$dst" 2>/dev/null || exit 1

for c in acodec adec aenc ai ao chnl h264e h265e isp ive jpege rc rgn sys vb vda venc vgs vi vo vpss; do
    [ -r "$src/$c" ] || continue
    # A read that fails halfway must not leave a cut log in place of a whole one.
    if cat "$src/$c" >"$dst/.$c.log.new" 2>/dev/null; then
        mv -f "$dst/.$c.log.new" "$dst/$c.log"
    else
        rm -f "$dst/.$c.log.new"
    fi
done
exit 0
