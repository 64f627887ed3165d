#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds Keyloft and starts it; an optional argument is the vault file to open.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/packages.sh
. "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${build_packages[@]}"
(cd "$root" && cmake --workflow --preset program >/dev/null)
exec "$root/build/program/keyloft" "$@"
