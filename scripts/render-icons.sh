#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Renders app/icons/keyloft.svg to the PNG sizes used by the hicolor icon theme
# (rsvg-convert) and packs the 16, 32 and 48 pixel renderings into
# app/keyloft.ico, as 32-bit images, for the Windows executable's resource
# (icotool). The outputs depend only on the SVG, so running the script again
# reproduces them byte for byte.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
icons=$root/app/icons

# shellcheck source=scripts/packages.sh
. "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${icon_packages[@]}"

for size in 16 32 48 128 256; do
    rsvg-convert --width="$size" --height="$size" --format=png \
        --output="$icons/keyloft-$size.png" "$icons/keyloft.svg"
done
icotool --create --output="$root/app/keyloft.ico" "$icons"/keyloft-{16,32,48}.png
echo "Wrote $icons/keyloft-{16,32,48,128,256}.png and $root/app/keyloft.ico"
