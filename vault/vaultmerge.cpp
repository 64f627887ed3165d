// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultmerge.h"

#include <QSet>
#include <QStringView>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// The full 128-bit product of two 64-bit words, its halves folded together
// (as wyhash does): every bit of either word reaches every bit of the result.
quint64 fold(quint64 x, quint64 y)
{
#if defined(__SIZEOF_INT128__)
    __extension__ using Product = unsigned __int128;
    const Product product = Product(x) * y;
    return quint64(product) ^ quint64(product >> 64);
#else
    const quint64 low = (x & 0xffffffffU) * (y & 0xffffffffU);
    const quint64 middle1 = (x >> 32) * (y & 0xffffffffU);
    const quint64 middle2 = (x & 0xffffffffU) * (y >> 32);
    const quint64 high = (x >> 32) * (y >> 32);
    const quint64 carry = ((low >> 32) + (middle1 & 0xffffffffU) + (middle2 & 0xffffffffU)) >> 32;
    return (low + (middle1 << 32) + (middle2 << 32))
        ^ (high + (middle1 >> 32) + (middle2 >> 32) + carry);
#endif
}

constexpr quint64 k1 = 0xa0761d6478bd642fU;
constexpr quint64 k2 = 0xe7037ed1a0b428dbU;
constexpr quint64 k3 = 0x8ebc6af09c88c6e3U;

// Calls `add` with the text's bytes sixteen at a time; the last ones (the
// final sixteen, overlapping the ones before, or fewer, padded) carry its
// length, so that no text runs into the next.
template<typename Add> void forWords(QStringView text, Add add)
{
    const auto *bytes = reinterpret_cast<const char *>(text.data());
    const size_t size = size_t(text.size()) * sizeof(QChar);
    quint64 words[2] = {};
    if (size > 16) {
        for (size_t at = 0; at + 16 < size; at += 16) {
            std::memcpy(words, bytes + at, 16);
            add(words[0], words[1]);
        }
        std::memcpy(words, bytes + size - 16, 16);
    } else if (size > 8) {
        std::memcpy(&words[0], bytes, 8);
        std::memcpy(&words[1], bytes + size - 8, 8);
    } else if (size >= 4) {
        quint32 first = 0;
        quint32 last = 0;
        std::memcpy(&first, bytes, 4);
        std::memcpy(&last, bytes + size - 4, 4);
        words[0] = (quint64(first) << 32) | last;
    } else if (size > 0) {
        words[0] = text.at(0).unicode();
    }
    add(words[0], words[1] ^ (quint64(size) << 40));
}

// A hash of an entry's name, its service and user name, for the tables
// below. Two names that hash alike are taken for one, at a chance of about
// one in 2^64: their entries are then merged as versions of one entry, and
// where their passwords are alike, one of them may be lost.
quint64 nameOf(const Entry &entry)
{
    quint64 hash = k3;
    const auto add = [&hash](quint64 x, quint64 y) {
        hash = fold(x ^ hash ^ k1, y ^ k2);
    };
    forWords(entry.service, add);
    forWords(entry.username, add);
    return hash;
}

void prefetch(const void *address)
{
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    Q_UNUSED(address);
#endif
}

// Entries are handled a batch at a time, each step over the whole batch
// before the next: hashing the names reads the texts one after the other,
// as memory serves them fastest, and the table slots and entries the batch
// needs are asked of memory a step ahead, so that the waits overlap.
constexpr qsizetype batchSize = 1024;

// The entries of the base and the window by name (service and user name),
// each side's entries of a name in their order. take() hands them out in
// that order, so that the n-th entry of a name in the file meets the n-th
// of the base and of the window.
class Namesakes
{
public:
    enum Side { Base, Window };

    Namesakes(const QList<Entry> &base, const QList<Entry> &window)
        : m_entries { &base, &window }
    {
        size_t capacity = 16;
        while (qsizetype(capacity) < (base.size() + window.size()) * 5 / 4)
            capacity *= 2;
        m_mask = capacity - 1;
        m_slots.assign(capacity, Slot { 0, { empty, empty } });
        for (const Side side : { Base, Window })
            add(side);
    }

    // Fetches the slot of `name` into the cache ahead of take().
    void expect(quint64 name) const { prefetch(&m_slots[name & m_mask]); }

    // The next entries of the base and the window not yet taken with the
    // name `name`, or nothing; they are asked of memory.
    // (An empty slot, where no entry has the name, hands out none.)
    void take(quint64 name, const Entry **base, const Entry **window)
    {
        Slot &slot = m_slots[place(name)];
        *base = take(slot, Base);
        *window = take(slot, Window);
    }

    // The next entry of the base not yet taken with the name `name`.
    const Entry *takeBase(quint64 name) { return take(m_slots[place(name)], Base); }

    bool isTaken(qsizetype row) const { return m_next[Window][size_t(row)] == gone; }

private:
    static constexpr qint32 none = -1; // no more entries of a name
    static constexpr qint32 empty = -3; // a slot no name has
    static constexpr qint32 gone = -2; // in m_next: the row was taken

    struct Slot
    {
        quint64 name;
        qint32 next[2]; // the next entry of each side to hand out
    };

    // Adds the entries of one side from the last to the first, so that each
    // name's chain runs in order; a batch at a time, its slots fetched while
    // it is hashed.
    void add(Side side)
    {
        const QList<Entry> &entries = *m_entries[side];
        std::vector<qint32> &next = m_next[side];
        next.resize(size_t(entries.size()));
        quint64 names[batchSize];
        for (qsizetype end = entries.size(); end > 0; end -= batchSize) {
            const qsizetype start = std::max(qsizetype(0), end - batchSize);
            for (qsizetype row = start; row < end; ++row) {
                names[row - start] = nameOf(entries.at(row));
                expect(names[row - start]);
            }
            for (qsizetype row = end; row-- > start;) {
                Slot &slot = m_slots[place(names[row - start])];
                if (slot.next[Base] == empty)
                    slot = Slot { names[row - start], { none, none } };
                next[size_t(row)] = slot.next[side];
                slot.next[side] = qint32(row);
            }
        }
    }

    const Entry *take(Slot &slot, Side side)
    {
        const qint32 row = slot.next[side];
        if (row < 0)
            return nullptr;
        slot.next[side] = m_next[side][size_t(row)];
        m_next[side][size_t(row)] = gone;
        const Entry *entry = m_entries[side]->constData() + row;
        prefetch(entry);
        return entry;
    }

    // The slot of `name`, or the empty one where it goes.
    size_t place(quint64 name) const
    {
        size_t at = name & m_mask;
        while (m_slots[at].next[Base] != empty && m_slots[at].name != name)
            at = (at + 1) & m_mask;
        return at;
    }

    const QList<Entry> *m_entries[2];
    std::vector<qint32> m_next[2];
    std::vector<Slot> m_slots;
    size_t m_mask = 0;
};

} // namespace

MergedEntries mergeEntries(
    const QList<Entry> &base, const QList<Entry> &file, const QList<Entry> &window)
{
    Namesakes namesakes(base, window);
    MergedEntries merged;
    merged.entries.reserve(file.size() + window.size());
    const auto conflict = [&merged] {
        if (merged.conflicts++ == 0)
            merged.firstConflict = merged.entries.size();
    };
    // The passwords of two versions of an entry, either of them missing.
    const auto same = [](const Entry *a, const Entry *b) {
        return a == b || (a && b && a->password == b->password);
    };

    // The file's entries a batch at a time, each step asking memory for
    // what the next one reads: the table's slots while the names are
    // hashed, the entries found there, then their passwords.
    quint64 names[batchSize];
    const Entry *bases[batchSize];
    const Entry *windows[batchSize];
    for (qsizetype start = 0; start < file.size(); start += batchSize) {
        const qsizetype count = std::min(batchSize, file.size() - start);
        const Entry *entries = file.constData() + start;
        for (qsizetype i = 0; i < count; ++i) {
            names[i] = nameOf(entries[i]);
            namesakes.expect(names[i]);
        }
        for (qsizetype i = 0; i < count; ++i) {
            namesakes.take(names[i], &bases[i], &windows[i]);
        }
        for (qsizetype i = 0; i < count; ++i) {
            for (const Entry *version : { bases[i], windows[i] }) {
                if (version)
                    prefetch(version->password.constData());
            }
        }
        for (qsizetype i = 0; i < count; ++i) {
            const Entry *there = entries + i;
            const Entry *was = bases[i];
            const Entry *mine = windows[i];
            if (same(there, mine) || same(mine, was)) {
                merged.entries.append(*there); // alike, or changed in the file only
            } else if (same(there, was)) {
                if (mine) // changed in the window only; or deleted there
                    merged.entries.append(*mine);
            } else {
                conflict();
                merged.entries.append(*there);
                if (mine)
                    merged.entries.append(*mine);
            }
        }
    }
    for (qsizetype row = 0; row < window.size(); ++row) {
        if (namesakes.isTaken(row))
            continue;
        const Entry &mine = window.at(row);
        const Entry *was = namesakes.takeBase(nameOf(mine));
        if (same(was, &mine))
            continue; // deleted in the file, unchanged here
        if (was)
            conflict(); // changed here, deleted in the file
        merged.entries.append(mine);
    }
    return merged;
}

bool holdsOthers(const QList<Entry> &theirs, const QList<Entry> &ours)
{
    const QSet<Entry> held(ours.cbegin(), ours.cend());
    return std::any_of(theirs.cbegin(), theirs.cend(),
        [&held](const Entry &entry) { return !held.contains(entry); });
}
