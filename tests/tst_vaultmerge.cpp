// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "testsupport.h"
#include "vault/conflictcopies.h"
#include "vault/vaultmerge.h"

#include <QTest>

using namespace TestSupport;

class TestVaultMerge : public QObject
{
    Q_OBJECT

private slots:
    void rules_data();
    void rules();
    void copies_data();
    void copies();
};

void TestVaultMerge::rules_data()
{
    // Entries as "service:password" or "service/user:password".
    QTest::addColumn<QStringList>("base");
    QTest::addColumn<QStringList>("file");
    QTest::addColumn<QStringList>("window");
    QTest::addColumn<QStringList>("merged");
    QTest::addColumn<int>("conflicts");
    QTest::addColumn<int>("firstConflict");
    using L = QStringList;

    QTest::addRow("alike on both sides")
        << L { "A:1" } << L { "A:1" } << L { "A:1" } << L { "A:1" } << 0 << -1;
    QTest::addRow("changed in the window only")
        << L { "A:1", "B:1" } << L { "A:1", "B:1" } << L { "A:2", "B:1" } << L { "A:2", "B:1" } << 0
        << -1;
    QTest::addRow("changed in the file only")
        << L { "A:1" } << L { "A:2" } << L { "A:1" } << L { "A:2" } << 0 << -1;
    QTest::addRow("deleted in the file only")
        << L { "A:1", "B:1" } << L { "B:1" } << L { "A:1", "B:1" } << L { "B:1" } << 0 << -1;
    QTest::addRow("added on one side each")
        << L {} << L { "F:1" } << L { "W:1" } << L { "F:1", "W:1" } << 0 << -1;
    QTest::addRow("the same change on both sides")
        << L { "A:1", "B:1" } << L { "A:1", "B:2", "C:1" } << L { "A:1", "B:2", "C:1" }
        << L { "A:1", "B:2", "C:1" } << 0 << -1;
    QTest::addRow("changed differently on both sides")
        << L { "A:1", "B:1" } << L { "A:1", "B:2" } << L { "A:1", "B:3" }
        << L { "A:1", "B:2", "B:3" } << 1 << 1;
    QTest::addRow("added differently on both sides")
        << L {} << L { "N:1" } << L { "N:2" } << L { "N:1", "N:2" } << 1 << 0;
    QTest::addRow("changed in the window, deleted in the file")
        << L { "A:1", "B:1" } << L { "B:1" } << L { "A:2", "B:1" } << L { "B:1", "A:2" } << 1 << 1;
    QTest::addRow("deleted in the window, changed in the file")
        << L { "A:1", "B:1" } << L { "A:2", "B:1" } << L { "B:1" } << L { "A:2", "B:1" } << 1 << 0;
    // Found wrong in the line merge before.
    QTest::addRow("the window changes A, the file appends N")
        << L { "A:1" } << L { "A:1", "N:1" } << L { "A:2" } << L { "A:2", "N:1" } << 0 << -1;
    QTest::addRow("the window deletes the last entry, the file appends N")
        << L { "A:1", "B:1" } << L { "A:1", "B:1", "N:1" } << L { "A:1" } << L { "A:1", "N:1" } << 0
        << -1;
    QTest::addRow("neighbouring entries edited on each side")
        << L { "A:1", "B:b", "C:1" } << L { "A:2", "B:b", "C:1" } << L { "A:1", "B:b2", "C:1" }
        << L { "A:2", "B:b2", "C:1" } << 0 << -1;
    QTest::addRow("the same entry added on both sides at different places")
        << L { "A:1" } << L { "N:1", "A:1" } << L { "A:1", "N:1" } << L { "N:1", "A:1" } << 0 << -1;
    QTest::addRow("one side reordered, the other changed")
        << L { "A:1", "B:1", "C:1" } << L { "C:1", "B:1", "A:1" } << L { "A:1", "B:2", "C:1" }
        << L { "C:1", "B:2", "A:1" } << 0 << -1;
    // A name on more than one row of a side: every version kept, none doubled.
    QTest::addRow("repeated names, both sides changed")
        << L { "A:1", "A:2" } << L { "A:1", "A:3" } << L { "A:4", "A:2" }
        << L { "A:1", "A:3", "A:4", "A:2" } << 1 << 0;
    QTest::addRow("repeated names, each side resolved a conflict differently")
        << L { "A:2", "A:3" } << L { "A:2" } << L { "X:1", "A:3" } << L { "A:2", "A:3", "X:1" } << 1
        << 0;
    QTest::addRow("repeated in the window, changed in the file")
        << L { "A:1" } << L { "A:2" } << L { "A:1", "A:2" } << L { "A:2", "A:1" } << 1 << 0;
    QTest::addRow("repeated names, the file as in the base, reordered")
        << L { "A:1", "A:2", "B:1" } << L { "B:1", "A:2", "A:1" } << L { "A:2", "B:1" }
        << L { "B:1", "A:2" } << 0 << -1;
    QTest::addRow("repeated names, the window as in the base")
        << L { "A:1", "A:2" } << L { "A:3", "A:3", "A:1" } << L { "A:2", "A:1" }
        << L { "A:3", "A:3", "A:1" } << 0 << -1;
    QTest::addRow("repeated names, only in the window")
        << L { "A:1", "A:1" } << L { "B:1" } << L { "A:1", "A:2", "B:1" }
        << L { "B:1", "A:1", "A:2" } << 1 << 1;
    QTest::addRow("one service, two user names")
        << L { "A/me:1", "A/you:1" } << L { "A/me:2", "A/you:1" } << L { "A/me:1", "A/you:2" }
        << L { "A/me:2", "A/you:2" } << 0 << -1;
}

void TestVaultMerge::rules()
{
    QFETCH(QStringList, base);
    QFETCH(QStringList, file);
    QFETCH(QStringList, window);
    QFETCH(QStringList, merged);
    QFETCH(int, conflicts);
    QFETCH(int, firstConflict);

    // Names that hash alike are still told apart by the names themselves.
    using NameHash = quint64 (*)(const Entry &);
    const NameHash allAlike = [](const Entry &) {
        return quint64(42);
    };
    for (const NameHash nameHash : { allAlike, NameHash() }) {
        const MergedEntries result
            = mergeEntries(entriesOf(base), entriesOf(file), entriesOf(window), nameHash);
        QCOMPARE(result.entries, entriesOf(merged));
        QCOMPARE(result.conflicts, conflicts);
        QCOMPARE(result.firstConflict, qsizetype(firstConflict));
    }
}

void TestVaultMerge::copies_data()
{
    QTest::addColumn<QStringList>("window");
    QTest::addColumn<QList<QStringList>>("copies"); // the oldest first
    QTest::addColumn<QStringList>("merged");
    QTest::addColumn<int>("conflicts");
    QTest::addColumn<int>("firstConflict");
    using L = QStringList;
    QTest::addRow("another version of the window's entry")
        << L { "A:1", "B:1" } << QList<L> { { "A:2", "C:1" } } << L { "A:1", "A:2", "B:1", "C:1" }
        << 1 << 0;
    QTest::addRow("two copies adding one entry differently")
        << L { "A:1" } << QList<L> { { "N:1" }, { "N:2" } } << L { "A:1", "N:1", "N:2" } << 1 << 1;
    QTest::addRow("entries the window lacks, no conflict")
        << L { "A:1" } << QList<L> { { "A:1", "B:1" } } << L { "A:1", "B:1" } << 0 << -1;
}

// Copies merge into the window with nothing as the base, and the first
// conflict is the first row of a name that came in on more than one row.
void TestVaultMerge::copies()
{
    QFETCH(QStringList, window);
    QFETCH(QList<QStringList>, copies);
    QFETCH(QStringList, merged);
    QFETCH(int, conflicts);
    QFETCH(int, firstConflict);
    QList<ConflictCopy> found;
    for (const QStringList &copy : copies)
        found.append({ QString(), entriesOf(copy), {} });
    const MergedEntries result = mergeCopies(entriesOf(window), found);
    QCOMPARE(result.entries, entriesOf(merged));
    QCOMPARE(result.conflicts, conflicts);
    QCOMPARE(result.firstConflict, qsizetype(firstConflict));
}

KEYLOFT_GUILESS_TEST_MAIN(TestVaultMerge)
#include "tst_vaultmerge.moc"
