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
    void wipeZeroesOwnBytesOnly();
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

// The key and the password are wiped where they lie, without changing their
// length; bytes another copy shares stay that copy's.
void TestProcessGuard::wipeZeroesOwnBytesOnly()
{
    QByteArray key = QStringLiteral("master ké").toUtf8();
    wipe(key);
    QCOMPARE(key, QByteArray(10, '\0'));

    QString password = QStringLiteral("master ").repeated(2);
    const QString copied = password;
    wipe(password);
    QCOMPARE(copied, QStringLiteral("master master "));

    QByteArray empty;
    wipe(empty); // nothing to wipe, nothing to crash
    QVERIFY(empty.isEmpty());
}

QTEST_GUILESS_MAIN(TestProcessGuard)
#include "tst_processguard.moc"
