#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Configures and builds Keyloft into the given build directory, with any extra
# CMake arguments after it, and after a "--" the targets to build (all by
# default). Installs the build tools and Qt first.
#
#     scripts/build.sh DIR [CMAKE-ARGUMENT...] [-- TARGET...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=$1
shift
arguments=()
while [[ $# -gt 0 && $1 != -- ]]; do
    arguments+=("$1")
    shift
done
targets=()
[[ $# -gt 0 ]] && targets=(--target "${@:2}")

# shellcheck source=scripts/packages.sh
. "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${build_packages[@]}"

werror=OFF
[[ "${CI:-}" == "true" ]] && werror=ON
cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
    -DKEYLOFT_WERROR="$werror" "${arguments[@]}" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)" "${targets[@]}"
