// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/processguard.h"
#include "vault/secretmemory.h"

#include <QTest>

#include <sys/prctl.h>
#include <sys/resource.h>

class TestProcessGuard : public QObject
{
    Q_OBJECT

private slots:
    void processCannotBeDumped();
    void wipeZeroesEverySharedCopy();
};

void TestProcessGuard::processCannotBeDumped()
{
    protectProcessMemory();
    QCOMPARE(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
    rlimit core {};
    QCOMPARE(getrlimit(RLIMIT_CORE, &core), 0);
    QCOMPARE(core.rlim_cur, rlim_t(0));
    QCOMPARE(core.rlim_max, rlim_t(0));
}

// The key and the password are wiped where they lie, shared copies included,
// without changing their length.
void TestProcessGuard::wipeZeroesEverySharedCopy()
{
    QByteArray key = QStringLiteral("master ké").toUtf8();
    const QByteArray copy = key;
    wipe(key);
    QCOMPARE(copy, QByteArray(10, '\0'));
    QCOMPARE(key.size(), 10);

    QString password = QStringLiteral("master ").repeated(2);
    const QString copied = password;
    wipe(password);
    QCOMPARE(copied, QString(14, QChar(0)));

    QByteArray empty;
    wipe(empty); // nothing to wipe, nothing to crash
    QVERIFY(empty.isEmpty());
}

QTEST_GUILESS_MAIN(TestProcessGuard)
#include "tst_processguard.moc"
