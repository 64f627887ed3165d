#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Gives every file of the tree that git tracks or would track (ignored files
# stay out, as they do for `reuse lint`) the two SPDX lines naming its copyright
# holder, 2026 The Keyloft developers, and its licence, GPL-3.0-or-later: a
# comment at its top in the file's own syntax, after a shebang line or an XML
# declaration, which must stay first. AppStream metadata is CC0-1.0 instead, as
# is usual for it. Files that cannot hold a comment (images, the fuzzing seeds,
# the Debian changelog and copyright file) get the lines in a FILE.license file
# beside them. Files that have either already are left alone, so the script can
# be run any number of times. It names each file it changes, and fails for files
# whose syntax it does not know, leaving them as they are.
#
# Usage: scripts/add-licence-headers.sh [FILE...]
# with paths from the top of the tree; without any, the whole tree.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# Spelt in two pieces so that this script's body does not read as a licence
# statement of its own to REUSE's tools.
spdx=SPDX
copyright_text="2026 The Keyloft developers"

# Prints the two lines, each between the given prefix and suffix.
spdx_lines() { # prefix licence [suffix]
    printf '%s%s-FileCopyrightText: %s%s\n' "$1" "$spdx" "$copyright_text" "${3:-}"
    printf '%s%s-License-Identifier: %s%s\n' "$1" "$spdx" "$2" "${3:-}"
}

has_header() {
    [[ -e "$1.license" ]] || grep -q "^.\{0,8\}$spdx-License-Identifier:" "$1"
}

# Writes HEADER (the variable) into the file, after its first line when KEEP_FIRST is set.
insert() { # file keep_first header
    local file=$1 keep_first=$2 header=$3 first tmp
    tmp=$(mktemp)
    {
        if [[ "$keep_first" == yes ]]; then
            IFS= read -r first || true
            printf '%s\n' "$first"
        fi
        printf '%s' "$header"
        cat
    } <"$file" >"$tmp"
    # Written over in place, so the file keeps its mode.
    cat "$tmp" >"$file"
    rm -f "$tmp"
}

first_line() { head -n 1 "$1" | tr -d '\r\0'; }

annotate() { # file
    local file=$1 licence=GPL-3.0-or-later style first keep=no header
    case "$file" in
        *.metainfo.xml | *.appdata.xml) licence=CC0-1.0 ;;
    esac
    first=$(first_line "$file")

    case "$file" in
        fuzz/corpus/* | app/desktop/changelog | app/desktop/copyright | \
            *.png | *.ico | *.jpg | *.jpeg | *.gif | *.webp | *.pwdb)
            style=sidecar ;;
        *.cpp | *.h | *.hpp | *.cc | *.c | *.rc | *.qml | *.js) style=slashes ;;
        *.xml | *.svg | *.ui | *.qrc | *.md | *.html) style=markup ;;
        *.[1-9]) style=roff ;;
        CMakeLists.txt | */CMakeLists.txt | *.cmake | *.sh | *.py | *.desktop | *.supp | *.yml | *.yaml | \
            *.toml | .gitignore | */.gitignore | .gitattributes | .clang-format | \
            .clang-tidy | .editorconfig)
            style=hash ;;
        *)
            if [[ "$first" == '#!'* ]]; then
                style=hash
            elif [[ -s "$file" ]] && ! grep -qI . "$file"; then
                style=sidecar # binary
            else
                echo "$file: no comment syntax known for this file; add its lines by hand" >&2
                return 1
            fi
            ;;
    esac

    case "$style" in
        sidecar)
            {
                spdx_lines "" "$licence"
            } >"$file.license"
            echo "$file.license"
            return 0
            ;;
        slashes)
            header=$(spdx_lines "// " "$licence")$'\n\n'
            ;;
        hash)
            [[ "$first" == '#!'* ]] && keep=yes
            header=$(spdx_lines "# " "$licence")$'\n\n'
            ;;
        markup)
            [[ "$first" == '<?xml'* ]] && keep=yes
            header="<!--"$'\n'$(spdx_lines "" "$licence")$'\n'"-->"$'\n'
            [[ "$file" == *.md ]] && header+=$'\n'
            ;;
        roff)
            # A preprocessor line ('\" t) must stay first; no blank line, which
            # roff would print.
            [[ "$first" == "'\\\""* ]] && keep=yes
            header=$(spdx_lines '.\" ' "$licence")$'\n'
            ;;
    esac
    insert "$file" "$keep" "$header"
    echo "$file"
}

# All in one function, read whole before it runs: bash reads a script as it
# goes, and this one may be among the files it changes.
main() {
    local -a files
    if [[ $# -gt 0 ]]; then
        files=("$@")
    else
        mapfile -t files < <(git ls-files --cached --others --exclude-standard)
    fi

    local file status=0
    for file in "${files[@]}"; do
        file=${file#./}
        case "$file" in
            LICENSES/* | .reuse/* | *.license) continue ;;
        esac
        [[ -f "$file" && ! -L "$file" ]] || continue
        has_header "$file" && continue
        annotate "$file" || status=1
    done
    return "$status"
}
main "$@"; exit
