// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The journal of a write in place: what it holds, where it is kept, and
// writing, reading and removing it.

#include "vault/descriptors_linux.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/stat.h>

// A write in place of `now` over `old` in the file `device`, `inode`. In a
// copy kept in the data folder, `twin` is the folder of the journal beside
// the vault.
struct Journal
{
    quint64 device = 0;
    quint64 inode = 0;
    QByteArray old;
    QByteArray now;
    QByteArray twin;
};

QByteArray encodeJournal(const Journal &journal);
// Nothing for bytes that are not a whole journal: one cut short, or damaged.
std::optional<Journal> decodeJournal(const QByteArray &bytes);

// Where a vault's journal is kept: beside the vault, or in Keyloft's data
// folder, under a name drawn from the file's device and inode, so that a
// load through any of its names finds it. No name: no journal.
struct JournalPlace
{
    int folder = -1;
    Descriptor ownFolder;
    QByteArray name;
};

void placeBeside(JournalPlace &place, int folder, const struct stat &vault);
// False when there is no data folder, or it cannot be made.
bool placeInDataFolder(JournalPlace &place, const struct stat &vault, bool create);

// Writes the journal beside the vault `vault`, in `folder` at `target`, or,
// where that folder takes no new file, in the data folder. A vault with
// other names, which may lie in other folders, has a copy in the data
// folder first, where a load through any of them looks, naming the folder
// of the one beside: it goes with the copy. `beside` and `data` receive
// where they went. Returns 0, or the system's error.
int writeJournal(int folder, const QString &target, const struct stat &vault,
    const Journal &journal, JournalPlace &beside, JournalPlace &data);

// Opens the journal `name` in `folder` into `file`, writable where the user
// may write it, and reads it into `bytes`. A journal that cannot be opened
// leaves `file` closed.
ReadResult readJournal(int folder, const QByteArray &name, Descriptor &file, QByteArray &bytes);

// Removes the journal at `place`, whose file is closed, if there is one:
// false when it stays.
bool removeJournal(const JournalPlace &place);
// Removes the journals of a write that ended: the copy in the data folder
// only once the one beside the vault is gone, which a load through another
// name removes with it.
void removeJournals(const JournalPlace &beside, const JournalPlace &data);
// Removes the journal beside the vault that `journal`, a copy in the data
// folder, names, unless it is a journal of another write.
void removeTwin(const Journal &journal);
