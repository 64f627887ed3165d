// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Files through descriptors on Linux: a name opened in a folder without
// following a link or waiting for a pipe, reads with a bound, writes, the
// stamp that tells one state of a file, and the temporary files that
// Keyloft keeps beside a vault.

#include "vault/vaultio.h"

#include <QByteArray>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

// Closes the descriptor it holds when it goes.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    { }
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// 0 when the call that returned `result` succeeded, else the system's error.
int errorOf(int result);

// Opens `name` in `folder` without following a link and without waiting for
// a writer (a pipe put there would block the open forever), and keeps the
// descriptor only when it is a regular file, after which reads and writes
// block as usual again. `status` receives the file's status. Like openat(2),
// it returns -1 with the reason in errno: for a folder or any other file
// that is not a regular one, the reason that writing to it would give.
int openRegularFile(int folder, const QByteArray &name, int flags, struct stat *status);

// Reads from `fd` to its end, but never more than `maxSize` + 1 bytes, so
// that a file growing while it is read cannot exhaust memory. `sizeHint` is
// what the file's status told: a file already larger is not read at all.
ReadResult readBounded(int fd, qint64 sizeHint, qint64 maxSize, QByteArray &content);

// Writes all of `content` at the start of `fd`: 0, or the system's error.
int writeFrom(int fd, const QByteArray &content);

// Writes `content` over the whole of `fd` and syncs it: 0, or the system's
// error.
int replaceContent(int fd, const QByteArray &content);

// The stamp of a file's status.
FileStamp stampOf(const struct stat &status);

// Puts the stamp of `fd` into `stamp`, when given and the file can be looked at.
void recordStamp(int fd, FileStamp *stamp);

// Keyloft's own files beside a vault are hidden and carry a mark that no
// other program uses, so that nothing but what Keyloft left is ever taken
// for one; a name too long to take the mark is stood for by its hash.
QByteArray ownName(const QByteArray &vaultName, const char *mark);

// A new, empty file in `folder` that nobody else can open, for the new
// bytes. Where the file system allows, it has no name until it is complete
// (see nameTemporary), so a process killed meanwhile leaves nothing behind;
// elsewhere it is created under a fresh name beside `name`, which goes to
// `created`.
int createTemporary(int folder, const QByteArray &name, QByteArray &created);

// Gives the finished temporary file a name beside `name`, if it has none:
// 0, or the system's error.
int nameTemporary(int folder, int fd, const QByteArray &name, QByteArray &created);

// Removes the temporary files that saves of `name` killed midway left in
// `folder` (a new file not yet in place, or an old one taken out of it), or
// those of any file when `name` is empty; with `before` (nanoseconds since
// the epoch), only those last written before it, as a save may be writing
// one.
void removeTemporaries(int folder, const QByteArray &name, qint64 before = 0);

// The name of the file at `target`, as the system spells it.
QByteArray nameOf(const QString &target);
