# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# The Debian packages Keyloft needs, sourced by the scripts that install them
# and by the one that builds a clean Debian root for the test suite.

# Building the program.
# Qt Linguist's tools and CMake package build the translations; Qt's own
# translations give its buttons and file dialogs the user's language.
build_packages=(cmake ninja-build g++ qt6-base-dev pkgconf libsodium-dev libacl1-dev libattr1-dev
    qt6-tools-dev qt6-l10n-tools qt6-translations-l10n)

# What the tests need beyond the build: the end-to-end tests' X server and
# input, their Wayland compositor, input and clipboard with Qt's Wayland
# plugin, the fuzzing build, the save's fault injection, a vault's access
# control list, the packaging checks, the screen-reader check, the licence
# and static-analysis checks.
test_packages=(
    xvfb xdotool xclip x11-utils x11-xserver-utils openbox clang libclang-rt-dev strace acl
    sway wtype wl-clipboard qt6-wayland
    desktop-file-utils appstream libxml2-utils shared-mime-info lintian dpkg-dev file
    binutils-mingw-w64-x86-64
    git reuse clazy at-spi2-core python3-pyatspi dbus dbus-x11
)

# Rendering the icons from their SVG (scripts/render-icons.sh), which only a
# change of the SVG calls for; the build and the tests use the committed files.
icon_packages=(librsvg2-bin icoutils)
