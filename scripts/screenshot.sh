#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Renders docs/screenshot.png: the main window holding three sample entries,
# shown on a private X server by the end-to-end harness.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/ensure-packages.sh" xvfb xdotool xclip openbox
"$root/scripts/build.sh" "$root/build-tests" -DKEYLOFT_BUILD_TESTS=ON
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
HOME="$scratch" XDG_RUNTIME_DIR="$scratch" KEYLOFT_BINARY="$root/build-tests/keyloft" \
    KEYLOFT_SCREENSHOT="$root/docs/screenshot.png" \
    "$root/build-tests/tests/e2e/tst_endtoend" renderScreenshot
