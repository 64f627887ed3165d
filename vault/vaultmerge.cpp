// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultmerge.h"
#include "vault/entrynames.h"
#include "vault/mergetable.h"

#include <QHash>
#include <QSet>
#include <QStringView>

#include <algorithm>
#include <optional>
#include <vector>

using namespace MergeTable;

namespace {

// Whether two sides hold the same versions of a name, in any order.
bool sameVersions(const QList<const Entry *> &a, const QList<const Entry *> &b)
{
    if (a.size() != b.size())
        return false;
    const auto sorted = [](const QList<const Entry *> &versions) {
        std::vector<QStringView> passwords;
        passwords.reserve(size_t(versions.size()));
        for (const Entry *version : versions)
            passwords.push_back(version->password);
        std::sort(passwords.begin(), passwords.end());
        return passwords;
    };
    return sorted(a) == sorted(b);
}

// The merge over `names`; nothing when two entries taken for namesakes turn
// out to have different names (never, with Exact names).
template<typename Hash>
std::optional<MergedEntries> mergeByName(
    const QList<Entry> &file, const QList<Entry> &window, Names<Hash> &names)
{
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
    // The window's rows merged with the file's already.
    std::vector<char> taken(size_t(window.size()));
    const auto take = [&](const Entry *mine) {
        if (mine)
            taken[size_t(mine - window.constData())] = true;
    };
    // Whether every version is of the name of `one`.
    const auto namesakes = [](const Entry &one, const QList<const Entry *> &versions) {
        return std::all_of(versions.cbegin(), versions.cend(),
            [&one](const Entry *version) { return sameName(one, *version); });
    };
    // A name with more than one entry on a side (Exact only): which version
    // was once which cannot be told, so every version either side holds is
    // kept, the file's first, unless one side still has the base's.
    const auto mergeVersions = [&](Name &name) {
        if (!names.isExact())
            return false;
        name.tag |= Name::done;
        const QList<const Entry *> was = names.versions(Base, name);
        const QList<const Entry *> there = names.versions(File, name);
        const QList<const Entry *> mine = names.versions(Window, name);
        const Entry &one = *(there.isEmpty() ? mine : there).constFirst();
        if (!namesakes(one, was) || !namesakes(one, there) || !namesakes(one, mine))
            return false;
        const bool fileChanged = !sameVersions(there, was);
        const bool windowChanged = !sameVersions(mine, was);
        if (fileChanged && windowChanged)
            conflict();
        QHash<QStringView, qsizetype> kept;
        if (fileChanged) {
            for (const Entry *version : there) {
                merged.entries.append(*version);
                ++kept[version->password];
            }
        }
        if (windowChanged || !fileChanged) {
            for (const Entry *version : mine) {
                take(version);
                qsizetype &count = kept[version->password];
                if (count > 0)
                    --count;
                else
                    merged.entries.append(*version);
            }
        }
        return true;
    };

    // The file's entries a batch at a time, each step asking memory for
    // what the next one reads: the names, the entries found there, then
    // their texts.
    quint64 hashes[batchSize];
    Name *found[batchSize];
    const Entry *bases[batchSize];
    const Entry *windows[batchSize];
    for (qsizetype start = 0; start < file.size(); start += batchSize) {
        const qsizetype count = std::min(batchSize, file.size() - start);
        for (qsizetype i = 0; i < count; ++i) {
            if (names.isExact()) {
                names.expectFile(start + i);
            } else {
                hashes[i] = names.hashOf(file.at(start + i));
                names.expect(hashes[i]);
            }
        }
        for (qsizetype i = 0; i < count; ++i) {
            found[i]
                = names.isExact() ? &names.ofFile(start + i) : names.meetFile(hashes[i], start + i);
            if (!found[i])
                return std::nullopt;
            const Name &name = *found[i];
            bases[i] = names.first(Base, name);
            windows[i] = names.first(Window, name);
            for (const Entry *version : { bases[i], windows[i] }) {
                if (version)
                    prefetch(version);
            }
        }
        for (qsizetype i = 0; i < count; ++i) {
            for (const Entry *version : { bases[i], windows[i] }) {
                if (version) {
                    prefetch(version->service.constData());
                    prefetch(version->username.constData());
                    prefetch(version->password.constData());
                }
            }
        }
        for (qsizetype i = 0; i < count; ++i) {
            Name &name = *found[i];
            if (name.has(Name::repeated)) {
                if (!name.has(Name::done) && !mergeVersions(name))
                    return std::nullopt;
                continue;
            }
            const Entry *there = file.constData() + start + i;
            const Entry *was = bases[i];
            const Entry *mine = windows[i];
            if ((was && !sameName(*there, *was)) || (mine && !sameName(*there, *mine)))
                return std::nullopt;
            take(mine);
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
        if (taken[size_t(row)])
            continue;
        Name &name = names.of(window.at(row));
        if (name.has(Name::repeated)) {
            if (!name.has(Name::done) && !mergeVersions(name))
                return std::nullopt;
            continue;
        }
        const Entry &mine = window.at(row);
        const Entry *was = names.first(Base, name);
        if (was && !sameName(mine, *was))
            return std::nullopt;
        if (same(was, &mine))
            continue; // deleted in the file, unchanged here
        if (was)
            conflict(); // changed here, deleted in the file
        merged.entries.append(mine);
    }
    return merged;
}

template<typename Hash>
MergedEntries mergeHashedBy(
    Hash hash, const QList<Entry> &base, const QList<Entry> &file, const QList<Entry> &window)
{
    Names<Hash> quick(base, file, window, hash, Names<Hash>::Quick);
    if (std::optional<MergedEntries> merged = mergeByName(file, window, quick))
        return *std::move(merged);
    Names<Hash> exact(base, file, window, hash, Names<Hash>::Exact);
    return *mergeByName(file, window, exact);
}

} // namespace

MergedEntries mergeEntries(const QList<Entry> &base, const QList<Entry> &file,
    const QList<Entry> &window, quint64 (*nameHash)(const Entry &))
{
    if (nameHash)
        return mergeHashedBy(nameHash, base, file, window);
    return mergeHashedBy([](const Entry &entry) { return hashOfName(entry); }, base, file, window);
}

bool holdsOthers(const QList<Entry> &theirs, const QList<Entry> &ours)
{
    const QSet<Entry> held(ours.cbegin(), ours.cend());
    return std::any_of(theirs.cbegin(), theirs.cend(),
        [&held](const Entry &entry) { return !held.contains(entry); });
}
