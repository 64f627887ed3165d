#!/usr/bin/env bash
# Builds Keyloft three ways and runs the whole suite headless in one CTest run:
# the unit and GUI tests, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the end-to-end tests of the real program under
# Xvfb, a bounded fuzzing run of the vault reader, and the checks of the
# desktop files, the install and the Debian package.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# What the end-to-end, fuzzing and packaging tests need beyond the build itself.
"$root/scripts/ensure-packages.sh" xvfb xdotool xclip x11-utils openbox clang libclang-rt-dev strace \
    desktop-file-utils appstream libxml2-utils shared-mime-info lintian dpkg-dev file \
    binutils-mingw-w64-x86-64

"$root/scripts/build.sh" "$root/build-asan" -DKEYLOFT_BUILD_TESTS=ON -DKEYLOFT_SANITIZE=ON
CXX=clang++ "$root/scripts/build.sh" "$root/build-fuzz" -DKEYLOFT_BUILD_TESTS=OFF -DKEYLOFT_FUZZ=ON
"$root/scripts/build.sh" "$root/build-tests" -DKEYLOFT_BUILD_TESTS=ON \
    -DKEYLOFT_SANITIZED_BUILD="$root/build-asan" -DKEYLOFT_FUZZ_BUILD="$root/build-fuzz"

# The tests see a home and runtime folder of their own, removed afterwards, so
# nothing they or Qt write lands in the user's.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/home" "$scratch/runtime"
export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime"
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME
export QT_QPA_PLATFORM=offscreen

cd "$root/build-tests"
ctest --output-on-failure --timeout 900
