// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "vault/entry.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The vault text: one line per entry, in order, each the service, a tab, the
// user name, a tab, the password and a line feed, all in UTF-8. No header, no
// quoting, no escaping; an empty list gives an empty text.
QByteArray encodeVault(const QList<Entry> &entries);

// Reads vault text back into entries. Lines are cut at line feeds; blank lines
// (nothing but ASCII whitespace) are skipped; the others are cut at tabs, and
// the first three fields are the service, the user name and the password, with
// any further fields dropped. Whitespace inside a line is kept, a carriage
// return before the line feed included.
//
// Bytes that no save can have written are refused with std::nullopt: text that
// is not valid UTF-8, a control character other than tab, line feed and
// carriage return, or a non-blank line of fewer than three fields. Such bytes
// are what a wrong master password or a file of another kind deciphers to.
//
// `lossless`, when given, tells whether encoding the entries gives the text
// back, but for a missing final line feed: false when a blank line was
// skipped or fields after the third were dropped.
std::optional<QList<Entry>> decodeVault(const QByteArray &text, bool *lossless = nullptr);

// True when the line of `entry` would be blank (nothing but ASCII
// whitespace, the tabs between its fields included), which decodeVault
// skips: such an entry would not come back from the vault.
bool isBlankEntry(const Entry &entry);

// True when `text` can be stored as a field of a vault line: the format cuts
// lines at line feeds and fields at tabs, and no save of this program ever
// writes another control character (C0, DEL, C1) or a Unicode line or
// paragraph separator either.
bool isStorableText(const QString &text);
