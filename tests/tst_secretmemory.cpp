// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "testsupport.h"
#include "vault/secretmemory.h"

#include <QTest>

#include <algorithm>
#include <dlfcn.h>

namespace {

// What this program's sodium_free saw: how many buffers of secrets came
// back to libsodium, and whether each held only zeros by then.
struct Releases
{
    qsizetype size = 0; // of the secrets being watched; 0: none
    int count = 0;
    bool allZero = true;
};
Releases releases;

} // namespace

// Stands in for libsodium's own, which it then calls: every buffer of
// secrets is checked at the moment it is given back.
extern "C" void sodium_free(void *pointer)
{
    static const auto real = reinterpret_cast<void (*)(void *)>(dlsym(RTLD_NEXT, "sodium_free"));
    if (pointer && releases.size > 0) {
        const auto *bytes = static_cast<const unsigned char *>(pointer);
        ++releases.count;
        releases.allZero = releases.allZero
            && std::all_of(
                bytes, bytes + releases.size, [](unsigned char byte) { return byte == 0; });
    }
    real(pointer);
}

class TestSecretMemory : public QObject
{
    Q_OBJECT

private slots:
    void wipedWhenItGoes_data();
    void wipedWhenItGoes();
    void neverShared();
};

void TestSecretMemory::wipedWhenItGoes_data()
{
    QTest::addColumn<bool>("movedOver"); // another secret moved into it first
    QTest::addRow("destroyed") << false;
    QTest::addRow("moved over, then destroyed") << true;
}

// The bytes are zeros when their memory goes back, whether the secret is
// destroyed or another is moved into it; the one moved from gives up its
// memory without a copy.
void TestSecretMemory::wipedWhenItGoes()
{
    QFETCH(bool, movedOver);
    releases = { 10, 0, true };
    {
        SecretBytes key(QByteArrayView("master key"));
        if (movedOver) {
            SecretBytes other(QByteArrayView("other key!"));
            const char *memory = other.constData();
            key = std::move(other);
            QCOMPARE(releases.count, 1);
            QVERIFY(key.constData() == memory);
            QCOMPARE(key.view(), QByteArray("other key!"));
        }
    }
    const int count = releases.count;
    releases.size = 0;
    QCOMPARE(count, movedOver ? 2 : 1);
    QVERIFY(releases.allZero);
}

// A secret is a copy of its own, and one made from a text holds its UTF-8; a
// text forgotten while a copy shares it is left to that copy.
void TestSecretMemory::neverShared()
{
    const QByteArray bytes("master key");
    SecretBytes key(bytes);
    key.data()[0] = 'M';
    QCOMPARE(bytes, QByteArray("master key"));
    QCOMPARE(key.view(), QByteArray("Master key"));
    QCOMPARE(SecretBytes::fromText(u"Mäster").view(), QByteArray("M\xc3\xa4ster"));

    QString typed = QStringLiteral("master ").repeated(2);
    const QString shared = typed;
    forgetText(typed);
    QVERIFY(typed.isEmpty());
    QCOMPARE(shared, QStringLiteral("master master "));
}

KEYLOFT_GUILESS_TEST_MAIN(TestSecretMemory)
#include "tst_secretmemory.moc"
