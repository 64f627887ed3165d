// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "testsupport.h"
#include "vault/vaultcipher.h"

#include <QRandomGenerator>
#include <QTest>

using namespace TestSupport;

namespace {

QByteArray randomBytes(qsizetype length, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray out(length, Qt::Uninitialized);
    for (qsizetype i = 0; i < length; ++i)
        out[i] = char(generator.bounded(256));
    return out;
}

} // namespace

class TestVaultCipher : public QObject
{
    Q_OBJECT

private slots:
    void literal_data();
    void literal();
    void blocks_data();
    void blocks();
};

void TestVaultCipher::literal_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("expected");

    QTest::addRow("empty data") << QByteArray() << bytes("key") << QByteArray();
    QTest::addRow("empty data and empty key") << QByteArray() << QByteArray() << QByteArray();
    QTest::addRow("empty key leaves data unchanged")
        << bytes("\x00\x09\x0a\xff") << QByteArray() << bytes("\x00\x09\x0a\xff");
    QTest::addRow("one-byte key on every byte")
        << bytes("\x00\x0f\xf0\xff") << bytes("\x5a") << bytes("\x5a\x55\xaa\xa5");
    QTest::addRow("key longer than data uses its start")
        << bytes("ab") << bytes("\x01\x02\x03\x04") << bytes("\x60\x60");
    QTest::addRow("key restarts after its last byte")
        << bytes("\x00\x00\x00\x00\x00") << bytes("\x01\x02") << bytes("\x01\x02\x01\x02\x01");
    QTest::addRow("byte equal to key byte gives zero")
        << bytes("pw-pw") << bytes("pw") << bytes("\x00\x00\x5d\x07\x07");
    QTest::addRow("result may hold tab and line feed")
        << bytes("ab") << bytes("\x68") << bytes("\x09\x0a");
    QTest::addRow("every key byte taken in turn")
        << bytes("secret") << bytes("\x01\x02\x04") << bytes("\x72\x67\x67\x73\x67\x70");
}

void TestVaultCipher::literal()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, expected);
    const QByteArray before(data.constData(), data.size());

    QByteArray result = xorCipher(data, key);
    QCOMPARE(result, expected);

    // The result is a buffer of its own, never the caller's bytes.
    QVERIFY(result.isEmpty() || result.constData() != data.constData());
    QCOMPARE(data, before);
}

void TestVaultCipher::blocks_data()
{
    QTest::addColumn<qsizetype>("dataLength");
    QTest::addColumn<qsizetype>("keyLength");

    const qsizetype dataLengths[]
        = { 0, 1, 7, 8, 9, 4095, 4096, 4097, 8191, 8192, 8193, 12289, 100000 };
    const qsizetype keyLengths[] = { 1, 2, 3, 7, 64, 4095, 4096, 4097, 5000 };
    for (qsizetype dataLength : dataLengths) {
        for (qsizetype keyLength : keyLengths) {
            QTest::addRow("data %lld, key %lld", static_cast<long long>(dataLength),
                static_cast<long long>(keyLength))
                << dataLength << keyLength;
        }
    }
}

void TestVaultCipher::blocks()
{
    QFETCH(qsizetype, dataLength);
    QFETCH(qsizetype, keyLength);
    const QByteArray data = randomBytes(dataLength, quint32(dataLength) + 1);
    const QByteArray key = randomBytes(keyLength, quint32(keyLength) * 7919);
    const QByteArray before(data.constData(), data.size());

    const QByteArray result = xorCipher(data, key);
    QCOMPARE(result, xorBytes(data, key));
    QCOMPARE(xorCipher(data, key + key + key), result);
    QCOMPARE(data, before);

    QByteArray inPlace = data;
    xorCipherInPlace(inPlace, key);
    QCOMPARE(inPlace, result);
    QCOMPARE(data, before); // the copy it was given detached from the caller's
}

KEYLOFT_GUILESS_TEST_MAIN(TestVaultCipher)
#include "tst_vaultcipher.moc"
