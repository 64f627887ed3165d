#!/usr/bin/env bash
# Builds Keyloft with its tests and runs the whole suite headless.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$root/scripts/build.sh" "$root/build-tests" -DKEYLOFT_BUILD_TESTS=ON

# The tests see a home and runtime folder of their own, removed afterwards, so
# nothing they or Qt write lands in the user's.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/home" "$scratch/runtime"
export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime"
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME
export QT_QPA_PLATFORM=offscreen

cd "$root/build-tests"
ctest --output-on-failure --timeout 600
