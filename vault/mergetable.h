// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The table that the merge finds entries of one name in: for the merge
// alone.

#include "vault/entry.h"
#include "vault/entrynames.h"

#include <QList>

#include <algorithm>
#include <vector>

namespace MergeTable {

inline void prefetch(const void *address)
{
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    Q_UNUSED(address);
#endif
}

// Entries are handled a batch at a time, each step over the whole batch
// before the next: hashing the names reads the texts one after the other,
// as memory serves them fastest, and what the next step needs (table
// slots, entries, texts) is asked of memory a step ahead, so that the
// waits overlap.
inline constexpr qsizetype batchSize = 1024;

enum Side { Base, File, Window };
inline constexpr qint32 none = -1;

// One name (service and user name) met on any side, and the rows that have
// it on each side: the first here, the next ones chained in Names.
struct Name
{
    // The hash's upper bits, without the lowest two, which hold the flags.
    quint32 tag = 0;
    qint32 first[3] = { none, none, none };

    static constexpr quint32 repeated = 1; // more than one entry on a side
    static constexpr quint32 done = 2; // its versions are in the result
    static quint32 tagOf(quint64 hash) { return quint32(hash >> 32) & ~3U; }
    bool isFree() const
    {
        return first[Base] == none && first[File] == none && first[Window] == none;
    }
    bool has(quint32 flag) const { return tag & flag; }
};

// The entries of the sides by name, each side's entries of a name in their
// order. Exact, it holds all three sides and compares names itself. Quick,
// it holds the base and the window, the file's entries are met one by one,
// names whose hashes agree in the bits it keeps are taken for one, and
// whoever meets their entries compares their names.
template<typename Hash> class Names
{
public:
    enum Mode { Quick, Exact };

    Names(const QList<Entry> &base, const QList<Entry> &file, const QList<Entry> &window, Hash hash,
        Mode mode)
        : m_sides { &base, &file, &window }
        , m_hash(hash)
        , m_mode(mode)
    {
        // Quick, the table is sized for the base and the window, as the
        // file's names are mostly theirs; one that fills up gives way to Exact.
        const qsizetype names = base.size() + window.size() + (mode == Exact ? file.size() : 0);
        size_t capacity = 16;
        while (qsizetype(capacity) < names * 5 / 4)
            capacity *= 2;
        m_mask = capacity - 1;
        m_names.resize(capacity);
        for (const Side side : { Base, Window, File }) {
            if (side != File || mode == Exact)
                add(side);
        }
    }

    bool isExact() const { return m_mode == Exact; }
    quint64 hashOf(const Entry &entry) const { return m_hash(entry); }
    // Fetches the place of a hash into the cache ahead of meetFile().
    void expect(quint64 hash) const { prefetch(&m_names[hash & m_mask]); }
    // Quick: the name of a row of the file, or null when an earlier row had it.
    Name *meetFile(quint64 hash, qsizetype row)
    {
        Name &name = m_names[place(hash, m_sides[File]->at(row))];
        if (name.isFree()) {
            if (++m_taken > m_mask / 8 * 7)
                return nullptr;
            name.tag = Name::tagOf(hash);
        } else if (name.first[File] != none) {
            return nullptr;
        }
        name.first[File] = qint32(row);
        return &name;
    }

    // Exact: the name of a row of the file.
    Name &ofFile(qsizetype row) { return m_names[size_t(m_fileNames[size_t(row)])]; }
    // Fetches it into the cache ahead of ofFile().
    void expectFile(qsizetype row) const { prefetch(&m_names[size_t(m_fileNames[size_t(row)])]); }
    // The name of any entry.
    Name &of(const Entry &entry) { return m_names[place(m_hash(entry), entry)]; }
    // The first entry of a side with the name, or null.
    const Entry *first(Side side, Name name) const { return entry(side, name.first[side]); }
    // Every entry of a side with the name, in order.
    QList<const Entry *> versions(Side side, Name name) const
    {
        QList<const Entry *> versions;
        for (qint32 row = name.first[side]; row != none; row = m_next[side][size_t(row)])
            versions.append(entry(side, row));
        return versions;
    }

private:
    const Entry *entry(Side side, qint32 row) const
    {
        return row == none ? nullptr : m_sides[side]->constData() + row;
    }

    // Any entry with the name: the one whose name the others are compared to.
    const Entry *anyWith(Name name) const
    {
        for (const Side side : { Base, File, Window }) {
            if (name.first[side] != none)
                return entry(side, name.first[side]);
        }
        return nullptr;
    }

    // Adds the entries of one side from the last to the first, so that each
    // name's chain runs in order.
    void add(Side side)
    {
        const QList<Entry> &entries = *m_sides[side];
        m_next[side].resize(size_t(entries.size()));
        if (side == File)
            m_fileNames.resize(size_t(entries.size()));
        quint64 hashes[batchSize];
        for (qsizetype end = entries.size(); end > 0; end -= batchSize) {
            const qsizetype start = std::max(qsizetype(0), end - batchSize);
            for (qsizetype row = start; row < end; ++row) {
                hashes[row - start] = m_hash(entries.at(row));
                prefetch(&m_names[hashes[row - start] & m_mask]);
            }
            for (qsizetype row = start; m_mode == Exact && row < end; ++row) {
                if (const Entry *known = anyWith(m_names[hashes[row - start] & m_mask])) {
                    prefetch(known->service.constData());
                    prefetch(known->username.constData());
                }
            }
            for (qsizetype row = end; row-- > start;) {
                const quint64 hash = hashes[row - start];
                const size_t at = place(hash, entries.at(row));
                Name &name = m_names[at];
                if (name.isFree()) {
                    ++m_taken;
                    name.tag = Name::tagOf(hash);
                } else if (name.first[side] != none) {
                    name.tag |= Name::repeated;
                }
                m_next[side][size_t(row)] = name.first[side];
                name.first[side] = qint32(row);
                if (side == File)
                    m_fileNames[size_t(row)] = qint32(at);
            }
        }
    }

    // The slot of the entry's name, or the free one where it goes.
    size_t place(quint64 hash, const Entry &entry) const
    {
        const quint32 tag = Name::tagOf(hash);
        size_t at = hash & m_mask;
        while (!m_names[at].isFree()
            && ((m_names[at].tag & ~3U) != tag
                || (m_mode == Exact && !sameName(*anyWith(m_names[at]), entry))))
            at = (at + 1) & m_mask;
        return at;
    }

    const QList<Entry> *m_sides[3];
    Hash m_hash;
    Mode m_mode;
    std::vector<qint32> m_next[3];
    std::vector<qint32> m_fileNames;
    std::vector<Name> m_names;
    size_t m_mask = 0;
    size_t m_taken = 0; // slots with a name
};

} // namespace MergeTable
