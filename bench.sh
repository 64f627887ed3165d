#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds Keyloft's benchmark in Release and runs it: one line per target with
# the figures, the ratio, the target and PASS or MISS.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD_TYPE=Release "$root/scripts/build.sh" "$root/build-bench" -DKEYLOFT_BUILD_TESTS=OFF \
    -DKEYLOFT_BUILD_BENCH=ON >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
HOME="$scratch" XDG_RUNTIME_DIR="$scratch" QT_QPA_PLATFORM=offscreen \
    "$root/build-bench/bench/bench_keyloft"
