// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/processguard.h"

#include <QTest>

#include <sys/prctl.h>
#include <sys/resource.h>

class TestProcessGuard : public QObject
{
    Q_OBJECT

private slots:
    void processCannotBeDumped();
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

QTEST_GUILESS_MAIN(TestProcessGuard)
#include "tst_processguard.moc"
