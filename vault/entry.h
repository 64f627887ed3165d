// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QHashFunctions>
#include <QString>

// One row of the entry table: what the user keeps for one service.
struct Entry
{
    QString service;
    QString username;
    QString password;

    friend bool operator==(const Entry &a, const Entry &b)
    {
        return a.service == b.service && a.username == b.username && a.password == b.password;
    }
    friend size_t qHash(const Entry &entry, size_t seed = 0) noexcept
    {
        return qHashMulti(seed, entry.service, entry.username, entry.password);
    }
};
// Moved in memory as plain bytes when a list of entries grows, as its strings are.
Q_DECLARE_TYPEINFO(Entry, Q_RELOCATABLE_TYPE);
