#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds Keyloft four ways and runs the whole suite headless in one CTest run:
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
# Where the build folders go: beside the sources, unless KEYLOFT_BUILD_ROOT
# names a folder of their own (the Debian root's builds are kept apart).
build_root=${KEYLOFT_BUILD_ROOT:-$root}

# shellcheck source=scripts/packages.sh
. "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${test_packages[@]}"

"$root/scripts/build.sh" "$build_root/build-asan" -DKEYLOFT_BUILD_TESTS=ON -DKEYLOFT_SANITIZE=ON
CXX=clang++ "$root/scripts/build.sh" "$build_root/build-fuzz" -DKEYLOFT_BUILD_TESTS=OFF \
    -DKEYLOFT_FUZZ=ON
# The vault library through Qt's own file access, as where POSIX is missing:
# only its own tests.
"$root/scripts/build.sh" "$build_root/build-portable" -DKEYLOFT_BUILD_TESTS=ON \
    -DKEYLOFT_PORTABLE_FILES=ON -- tst_vaultcipher tst_vaultformat tst_vaultio tst_vaultsession
"$root/scripts/build.sh" "$build_root/build-tests" -DKEYLOFT_BUILD_TESTS=ON \
    -DKEYLOFT_SANITIZED_BUILD="$build_root/build-asan" -DKEYLOFT_FUZZ_BUILD="$build_root/build-fuzz" \
    -DKEYLOFT_PORTABLE_BUILD="$build_root/build-portable"

# The tests see a home and runtime folder of their own, removed afterwards, so
# nothing they or Qt write lands in the user's.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/home" "$scratch/runtime"
export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime"
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME
export QT_QPA_PLATFORM=offscreen

cd "$build_root/build-tests"
ctest --output-on-failure --timeout 900
