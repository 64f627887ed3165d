#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds Keyloft four ways (the CMake presets) and runs the whole suite headless in one CTest run:
# the unit and GUI tests, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the vault library's tests with Qt's own file
# access instead of POSIX, the end-to-end tests of the real program under
# Xvfb, a bounded fuzzing run of the vault reader, and the checks of the
# desktop files, the install and the Debian package.
#
#     ./test.sh                  on this machine
#     ./test.sh --on debian-13   the same, inside a clean Debian 13 root
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [[ $# -gt 0 ]]; then
    [[ $# -eq 2 && $1 == --on && $2 == debian-13 ]] || {
        echo "usage: $0 [--on debian-13]" >&2
        exit 2
    }
    exec "$root/scripts/debian-root.sh" "$2" /src/test.sh
fi
# shellcheck source=scripts/packages.sh
. "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${build_packages[@]}" "${test_packages[@]}"

# The tests see a home and runtime folder of their own, removed afterwards, so
# nothing they or Qt write lands in the user's.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/home" "$scratch/runtime"
export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime"
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME

# The builds whose tests the default build's CTest runs as well, then that
# build and the one CTest run (see CMakePresets.json).
cd "$root"
for preset in sanitized fuzzing portable default; do
    cmake --workflow --preset "$preset"
done
