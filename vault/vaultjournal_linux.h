// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The write in place, with the journal that lets an interrupted one be
// finished.

#include "vault/vaultio.h"

#include <QByteArray>
#include <QString>

// Not crash-safe by itself, and so only where replacing the file would lose
// what makes it the same file: a journal makes it so. It opens the file that
// was examined or nothing: never one created meanwhile (with whatever
// permissions), never a link, a pipe or another file put there since.
WriteResult writeInPlace(int folder, const QByteArray &name, const QString &target,
    const struct stat &old, const QByteArray &content, FileStamp *stamp);
