#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Runs clazy's checks of levels 0 to 2 over the program's own sources, with
# the compile commands of the given build folder; fails on any finding.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=$1

cd "$root"
sources=(app/*.cpp ui/*.cpp vault/*.cpp generator/*.cpp)
status=0
report=$(clazy-standalone -p "$build_dir" -checks=level0,level1,level2 \
    -header-filter="$root/(app|ui|vault|generator)/" "${sources[@]}" 2>&1) || status=$?
if [[ $status -ne 0 ]] || grep -qE '(warning|error):' <<<"$report"; then
    printf '%s\n' "$report"
    echo "clazy: findings in ${#sources[@]} files" >&2
    exit 1
fi
echo "clazy (levels 0-2): no findings in ${#sources[@]} files"
