#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Runs a fuzz target for a bounded time: run-fuzz.sh <fuzz_vault binary> [seconds, default 30].
# libFuzzer gets a fresh temporary folder first and the seed corpus next to
# this script second: it reads both, and writes new inputs only to the first,
# so the seeds stay as they are. Crash files and everything else it writes land
# in the temporary folder too, which is removed at the end.
# Exits non-zero on any finding: crash, sanitizer report, leak, timeout,
# out-of-memory or a broken property.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [[ $# -lt 1 || $# -gt 2 ]]; then
    echo "usage: $0 <fuzz binary> [seconds]" >&2
    exit 2
fi
binary=$(realpath -e "$1")
seconds=${2:-30}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || ((seconds == 0)); then
    echo "$0: seconds must be a positive whole number, not '$seconds'" >&2
    exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/artifacts"
cd "$work"

status=0
"$binary" "$work/corpus" "$here/corpus" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
    -artifact_prefix="$work/artifacts/" -print_final_stats=1 || status=$?

found=$(find "$work/artifacts" -type f)
if [[ -n "$found" ]]; then
    for file in $found; do
        echo "finding $(basename "$file"): $(od -An -tx1 -v "$file" | tr -d ' \n')" >&2
    done
    ((status != 0)) || status=1
fi
if ((status != 0)); then
    echo "$0: fuzzing failed with status $status" >&2
fi
exit "$status"
