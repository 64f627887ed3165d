#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Renders docs/screenshot.png: the main window holding three sample entries,
# shown on a private X server by the end-to-end harness.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/packages.sh
. "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${build_packages[@]}" xvfb xdotool xclip openbox x11-utils
(cd "$root" && cmake --preset default >/dev/null &&
    cmake --build --preset default --target keyloft tst_endtoend)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
HOME="$scratch" XDG_RUNTIME_DIR="$scratch" KEYLOFT_BINARY="$root/build/default/keyloft" \
    KEYLOFT_SCREENSHOT="$root/docs/screenshot.png" \
    "$root/build/default/tests/e2e/tst_endtoend" renderScreenshot
