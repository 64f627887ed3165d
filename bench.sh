#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds Keyloft's benchmark in Release and runs it: one line per target with
# the figures, the ratio, the target and PASS or MISS.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/packages.sh
. "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${build_packages[@]}"
(cd "$root" && cmake --workflow --preset bench >/dev/null)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
HOME="$scratch" XDG_RUNTIME_DIR="$scratch" QT_QPA_PLATFORM=offscreen \
    "$root/build/bench/bench/bench_keyloft"
