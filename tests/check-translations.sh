#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Runs lupdate over the program's sources into copies of the translation
# files and fails when any message is left unfinished, or is no longer in
# the sources: every text the program shows is translated, and nothing
# else is.
#
# Usage: check-translations.sh LUPDATE SOURCE_DIR
set -euo pipefail
lupdate=$1
source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=0
for ts in "$source"/translations/*.ts; do
    copy="$scratch/$(basename "$ts")"
    cp "$ts" "$copy"
    (cd "$source" && "$lupdate" -silent -locations none app ui vault generator -ts "$copy")
    left=$(grep -cE 'type="(unfinished|vanished|obsolete)"' "$copy" || true)
    if [[ $left -ne 0 ]]; then
        echo "$(basename "$ts"): $left messages unfinished or no longer in the sources:"
        grep -B3 -E 'type="(unfinished|vanished|obsolete)"' "$copy" | grep '<source>' || true
        failed=1
    fi
    if ! cmp -s "$ts" "$copy"; then
        echo "$(basename "$ts") is not as lupdate leaves it: run the update_translations target"
        diff "$ts" "$copy" | head -20 || true
        failed=1
    fi
done
exit $failed
