// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/descriptors_linux.h"
#include "vault/vaultio.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

// Takes the lock of `fd`, waiting for another holder until `deadline`:
// false when it was not released by then. Where the file system knows no
// such lock (some network ones), nothing is held and the save goes on as
// without it.
bool lockBefore(int fd, QDeadlineTimer deadline)
{
    for (int pause = 1;; pause = std::min(2 * pause, 50)) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return true;
        if (deadline.hasExpired())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
}

} // namespace

VaultLocation::~VaultLocation()
{
    unlock();
    if (m_folder >= 0)
        ::close(m_folder);
}

void VaultLocation::lock()
{
    m_lockError = {};
    if (m_folder < 0)
        return;
    const QDeadlineTimer deadline(lockWait);
    if (!lockBefore(m_folder, deadline)) {
        m_lockError = { lockNotReleased, {} };
        return;
    }
    // The folder's lock is one per name; the file's is one for every name
    // it has, hard links in other folders included. A file that is not
    // there yet takes its name only where none is (see write).
    struct stat status
    {
    };
    m_lockedFile = openRegularFile(m_folder, nameOf(m_target), O_RDONLY, &status);
    if (m_lockedFile >= 0 && !lockBefore(m_lockedFile, deadline)) {
        unlock();
        m_lockError = { lockNotReleased, {} };
    }
}

void VaultLocation::unlock()
{
    if (m_lockedFile >= 0)
        ::close(std::exchange(m_lockedFile, -1)); // closing it drops its lock
    if (m_folder >= 0)
        ::flock(m_folder, LOCK_UN);
}
