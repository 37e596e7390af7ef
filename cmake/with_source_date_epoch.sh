#!/bin/sh
# Linker launcher: with_source_date_epoch.sh <file> <link command...>
# Runs the link with SOURCE_DATE_EPOCH set from <file> (written at each build
# by write_build_info.cmake), so that a relink from any shell stamps the
# commit's time and not the time of the link. An empty file leaves it unset.
epoch_file="$1"
shift
epoch="$(cat "$epoch_file" 2>/dev/null || true)"
if [ -n "$epoch" ]; then
    SOURCE_DATE_EPOCH="$epoch"
    export SOURCE_DATE_EPOCH
fi
exec "$@"
