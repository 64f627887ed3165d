# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Installing Keyloft as a desktop application, and packaging it for Debian
# with CPack (`cpack -G DEB` in the build folder).
include(GNUInstallDirs)

set(KEYLOFT_APP_ID org.keyloft.Keyloft)
set(KEYLOFT_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/keyloft)
set(desktop ${CMAKE_CURRENT_SOURCE_DIR}/app/desktop)
set(icons ${CMAKE_CURRENT_SOURCE_DIR}/app/icons)

install(TARGETS keyloft RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${desktop}/${KEYLOFT_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${desktop}/${KEYLOFT_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${desktop}/keyloft-vault.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
    RENAME keyloft.xml)
foreach(size 16 32 48 128 256)
    install(FILES ${icons}/keyloft-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME keyloft.png)
endforeach()
install(FILES ${icons}/keyloft.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Debian wants the changelog and the manual page compressed, reproducibly
# (no name or time stamp in the archive).
foreach(page changelog keyloft.1)
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz
        COMMAND gzip -9 -n -c ${desktop}/${page} > ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz
        DEPENDS ${desktop}/${page} VERBATIM)
endforeach()
add_custom_target(keyloft_docs ALL
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz ${CMAKE_CURRENT_BINARY_DIR}/keyloft.1.gz)
# The package's copyright file, in Debian's machine-readable format: Keyloft is
# GPL-3.0-or-later, its AppStream metadata CC0-1.0, as in the files' own SPDX lines.
install(FILES ${desktop}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
    DESTINATION ${KEYLOFT_DOCDIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/keyloft.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME keyloft)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Keyloft maintainers <maintainers@keyloft.invalid>")
set(CPACK_PACKAGE_VENDOR "The Keyloft developers")
# A Debian package states its licence in the copyright file alone; the licence
# text is what installers that show one (NSIS, WiX, productbuild) show, and
# RPM has a field of its own.
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSES/GPL-3.0-or-later.txt)
set(CPACK_RPM_PACKAGE_LICENSE GPL-3.0-or-later)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "single-user desktop password manager")
# The summary above is the synopsis; CPack indents these lines itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Keyloft keeps a table of entries, a service, a user name and a password
each, in one vault file, and generates random passwords.
.
The vault is enciphered with a repeating-key XOR of the master password:
this hides the entries from a casual look but is not strong encryption.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own translations, for its buttons and file dialogs in the user's
# language, and Qt's Wayland plugin, so that a Wayland session runs Keyloft
# natively rather than through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, qt6-wayland")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
