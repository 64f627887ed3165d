// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "testsupport.h"
#include "vault/vaultformat.h"

#include <QTest>

char *toString(const Entry &entry)
{
    const QString text = QLatin1String("Entry(") + entry.service + QLatin1String(" | ")
        + entry.username + QLatin1String(" | ") + entry.password + QLatin1Char(')');
    return QTest::toString(text);
}

using TestSupport::bytes;

namespace {

Entry entry(const char16_t *service, const char16_t *username, const char16_t *password)
{
    return { QString::fromUtf16(service), QString::fromUtf16(username),
        QString::fromUtf16(password) };
}

using Entries = QList<Entry>;

// Entries of the kind people keep: host names, addresses, passwords mixing
// letters, digits and symbols.
Entries realisticEntries(int count)
{
    const Entries samples = { entry(u"mail.example.com", u"alice.smith", u"Tr0ub4dor&3"),
        entry(u"bank", u"alice-1984", u"correct horse battery staple"),
        entry(u"github.com", u"asmith@example.org", u"x9!Qz#w2$Lp7") };
    Entries entries;
    for (int i = 0; i < count; ++i) {
        Entry next = samples[i % samples.size()];
        next.service += QString::number(i);
        entries << next;
    }
    return entries;
}

} // namespace

class TestVaultFormat : public QObject
{
    Q_OBJECT

private slots:
    void canonical_data();
    void canonical();
    void altered_data();
    void altered();
    void decode_data();
    void decode();
    void refused_data();
    void refused();
    void storable_data();
    void storable();
    void wrongKey_data();
    void wrongKey();
};

void TestVaultFormat::canonical_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<QByteArray>("text");

    QTest::addRow("no entries") << Entries() << QByteArray();
    QTest::addRow("one entry") << Entries { entry(u"mail", u"alice", u"pw") }
                               << bytes("mail\talice\tpw\n");
    QTest::addRow("entries kept in order") << Entries { entry(u"b", u"u1", u"p1"),
        entry(u"a", u"u2", u"p2"), entry(u"c", u"u3", u"p3") }
                                           << bytes("b\tu1\tp1\na\tu2\tp2\nc\tu3\tp3\n");
    QTest::addRow("empty user name and password")
        << Entries { entry(u"svc", u"", u"") } << bytes("svc\t\t\n");
    QTest::addRow("spaces at both ends of every field")
        << Entries { entry(u"  mail ", u" alice ", u" pw  ") }
        << bytes("  mail \t alice \t pw  \n");
    QTest::addRow("accented letters") << Entries { entry(u"Caf\u00e9", u"Zo\u00eb", u"na\u00efve") }
                                      << bytes("Caf\xc3\xa9\tZo\xc3\xab\tna\xc3\xaf"
                                               "ve\n");
    QTest::addRow("emoji outside the basic plane")
        << Entries { entry(u"vault", u"\U0001F511", u"a\U0001F600b") }
        << bytes("vault\t\xf0\x9f\x94\x91\ta\xf0\x9f\x98\x80"
                 "b\n");
    QTest::addRow("storable characters above DEL")
        << Entries { entry(u"\u0080", u"\u0085", u"\u2028") }
        << bytes("\xc2\x80\t\xc2\x85\t\xe2\x80\xa8\n");
}

// Encoding gives the exact bytes, the same every time, and reading them back
// gives the entries, which encode to the same bytes again.
void TestVaultFormat::canonical()
{
    QFETCH(Entries, entries);
    QFETCH(QByteArray, text);

    QCOMPARE(encodeVault(entries), text);
    QCOMPARE(encodeVault(entries), text);
    const std::optional<Entries> decoded = decodeVault(text);
    QVERIFY(decoded);
    QCOMPARE(*decoded, entries);
    QCOMPARE(encodeVault(*decoded), text);
}

void TestVaultFormat::altered_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<Entries>("decoded");

    QTest::addRow("fields of only spaces give a blank line")
        << Entries { entry(u"   ", u"", u"") } << bytes("   \t\t\n") << false << Entries();
    QTest::addRow("all fields empty give a blank line")
        << Entries { entry(u"a", u"b", u"c"), entry(u"", u"", u"") } << bytes("a\tb\tc\n\t\t\n")
        << false << Entries { entry(u"a", u"b", u"c") };
    QTest::addRow("tab inside the service")
        << Entries { entry(u"a\tb", u"user", u"pw") } << bytes("a\tb\tuser\tpw\n") << false
        << Entries { entry(u"a", u"b", u"user") };
    QTest::addRow("tab inside the password")
        << Entries { entry(u"s", u"u", u"p\tq") } << bytes("s\tu\tp\tq\n") << false
        << Entries { entry(u"s", u"u", u"p") };
    QTest::addRow("line feed inside the password")
        << Entries { entry(u"s", u"u", u"p\nq") } << bytes("s\tu\tp\nq\n") << true << Entries();
    QTest::addRow("zero character inside the user name")
        << Entries { { QStringLiteral("s"), QStringLiteral("u") + QChar(0) + QStringLiteral("v"),
               QStringLiteral("p") } }
        << bytes("s\tu\0v\tp\n") << true << Entries();
}

// Entries that no edit lets through are still written unchanged, but do not
// come back as they were.
void TestVaultFormat::altered()
{
    QFETCH(Entries, entries);
    QFETCH(QByteArray, text);
    QFETCH(bool, refused);
    QFETCH(Entries, decoded);

    QCOMPARE(encodeVault(entries), text);
    const std::optional<Entries> result = decodeVault(text);
    QCOMPARE(!result, refused);
    if (result)
        QCOMPARE(*result, decoded);
}

void TestVaultFormat::decode_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Entries>("entries");

    const Entries abc = { entry(u"a", u"b", u"c") };
    QTest::addRow("empty text") << QByteArray() << Entries();
    QTest::addRow("only line feeds") << bytes("\n\n\n") << Entries();
    QTest::addRow("last line without line feed") << bytes(
        "a\tb\tc\nd\te\tf") << Entries { entry(u"a", u"b", u"c"), entry(u"d", u"e", u"f") };
    QTest::addRow("carriage return kept in the password")
        << bytes("a\tb\tc\r\n") << Entries { entry(u"a", u"b", u"c\r") };
    QTest::addRow("leading spaces of the service kept")
        << bytes("  a\tb\tc\n") << Entries { entry(u"  a", u"b", u"c") };
    QTest::addRow("trailing spaces and carriage return of the password kept")
        << bytes("a\tb\tc \r\n") << Entries { entry(u"a", u"b", u"c \r") };
    QTest::addRow("empty service and user name")
        << bytes("\t\tpw\n") << Entries { entry(u"", u"", u"pw") };
    QTest::addRow("fields after the third dropped") << bytes("a\tb\tc\td\te\n") << abc;
    QTest::addRow("empty lines skipped") << bytes("\n\na\tb\tc\n\n\n") << abc;
    QTest::addRow("line of spaces and tabs skipped") << bytes("   \t \na\tb\tc\n") << abc;
    QTest::addRow("line of two tabs skipped") << bytes("\t\t\na\tb\tc") << abc;
    QTest::addRow("line of a carriage return skipped") << bytes("a\tb\tc\n\r\n \r \n") << abc;
    QTest::addRow("no-break space makes a line count")
        << bytes("\xc2\xa0\t\t\n") << Entries { entry(u"\u00a0", u"", u"") };
    QTest::addRow("two- and three-byte characters")
        << bytes("Caf\xc3\xa9\t\xe6\x97\xa5\xe6\x9c\xac\t\xe2\x82\xac\n")
        << Entries { entry(u"Caf\u00e9", u"\u65e5\u672c", u"\u20ac") };
    QTest::addRow("four-byte character")
        << bytes("key\t\xf0\x9f\x94\x91\tpw\n") << Entries { entry(u"key", u"\U0001F511", u"pw") };
    QTest::addRow("lowest and highest character of each length")
        << bytes("\xc2\x80\xdf\xbf\t\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xef\xbf\xbf\t"
                 "\xf0\x90\x80\x80\xf4\x8f\xbf\xbf\n")
        << Entries { entry(u"\u0080\u07ff", u"\u0800\ud7ff\ue000\uffff", u"\U00010000\U0010FFFF") };

    QByteArray printable;
    for (char c = 0x20; c < 0x7f; ++c)
        printable += c;
    QTest::addRow("every printable ASCII byte")
        << QByteArray("s\tu\t" + printable + '\n')
        << Entries { { QStringLiteral("s"), QStringLiteral("u"), QString::fromLatin1(printable) } };
}

void TestVaultFormat::decode()
{
    QFETCH(QByteArray, text);
    QFETCH(Entries, entries);

    const std::optional<Entries> decoded = decodeVault(text);
    QVERIFY(decoded);
    QCOMPARE(*decoded, entries);
}

void TestVaultFormat::refused_data()
{
    QTest::addColumn<QByteArray>("text");

    QTest::addRow("two fields") << bytes("a\tb\n");
    QTest::addRow("one field") << bytes("abc\n");
    QTest::addRow("two fields after a good line") << bytes("a\tb\tc\nd\te\n");
    QTest::addRow("two fields on a last line without line feed") << bytes("a\tb\tc\nd\te");
    QTest::addRow("one field before a good line") << bytes("x\na\tb\tc\n");

    QTest::addRow("stray continuation byte 0x80") << bytes("a\tb\t\x80\n");
    QTest::addRow("stray continuation byte 0xbf") << bytes("\xbf\tb\tc\n");
    QTest::addRow("two-byte character cut at the end") << bytes("a\tb\tc\xc3");
    QTest::addRow("two-byte character cut before ASCII") << bytes("a\tb\t\xc3"
                                                                  "x\n");
    // The bytes after the text's end are not part of it, even when readable.
    static const char longer[] = "a\tb\tc\xc3\xa9";
    QTest::addRow("two-byte character cut where the buffer goes on")
        << QByteArray::fromRawData(longer, 6);
    QTest::addRow("three-byte character cut") << bytes("a\tb\t\xe2\x82\n");
    QTest::addRow("three-byte character with ASCII third byte") << bytes("a\tb\t\xe2\x82"
                                                                         "A\n");
    QTest::addRow("four-byte character cut at the end") << bytes("a\tb\t\xf0\x9f\x94");
    QTest::addRow("four-byte character with ASCII last byte") << bytes("a\tb\t\xf0\x9f\x94"
                                                                       "A\n");
    QTest::addRow("overlong zero C0 80") << bytes("a\tb\t\xc0\x80\n");
    QTest::addRow("overlong C1 BF") << bytes("a\tb\t\xc1\xbf\n");
    QTest::addRow("overlong three-byte E0 80 80") << bytes("a\tb\t\xe0\x80\x80\n");
    QTest::addRow("overlong three-byte E0 9F BF") << bytes("a\tb\t\xe0\x9f\xbf\n");
    QTest::addRow("overlong four-byte F0 80 80 80") << bytes("a\tb\t\xf0\x80\x80\x80\n");
    QTest::addRow("overlong four-byte F0 8F BF BF") << bytes("a\tb\t\xf0\x8f\xbf\xbf\n");
    QTest::addRow("high surrogate ED A0 80") << bytes("a\tb\t\xed\xa0\x80\n");
    QTest::addRow("low surrogate ED BF BF") << bytes("a\tb\t\xed\xbf\xbf\n");
    QTest::addRow("above U+10FFFF F4 90 80 80") << bytes("a\tb\t\xf4\x90\x80\x80\n");
    for (int lead = 0xf5; lead <= 0xff; ++lead) {
        QTest::addRow("lead byte 0x%02x", lead)
            << QByteArray("a\tb\t" + QByteArray(1, char(lead)) + "\x80\x80\x80\n");
    }
    QTest::addRow("invalid UTF-8 in a dropped fourth field") << bytes("a\tb\tc\t\xff\n");
    QTest::addRow("stray continuation byte between spaces") << bytes("a\tb\tc\n \x80 \n");

    const int controls[] = { 0x00, 0x01, 0x07, 0x08, 0x0b, 0x0c, 0x0e, 0x1b, 0x1f, 0x7f };
    for (int control : controls) {
        QTest::addRow("control byte 0x%02x in the password", control)
            << QByteArray("a\tb\tp" + QByteArray(1, char(control)) + "w\n");
        QTest::addRow("control byte 0x%02x between spaces", control)
            << QByteArray("a\tb\tc\n " + QByteArray(1, char(control)) + " \n");
    }
    QTest::addRow("control byte in a dropped fourth field") << bytes("a\tb\tc\t\x01\n");
}

void TestVaultFormat::refused()
{
    QFETCH(QByteArray, text);

    QVERIFY(!decodeVault(text));
}

void TestVaultFormat::storable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("storable");

    QTest::addRow("empty") << QString() << true;
    QTest::addRow("letters, digits and symbols") << QStringLiteral("Tr0ub4dor&3 ~!") << true;
    QTest::addRow("tab") << QStringLiteral("a\tb") << false;
    QTest::addRow("line feed") << QStringLiteral("a\nb") << false;
    QTest::addRow("carriage return") << QStringLiteral("pw\r") << false;
    QTest::addRow("zero character") << QString(QChar(0)) << false;
    QTest::addRow("U+0001 at the start") << QStringLiteral("\u0001ab") << false;
    QTest::addRow("U+001F at the end") << QStringLiteral("ab\u001f") << false;
    QTest::addRow("DEL") << QStringLiteral("a\u007fb") << false;
    QTest::addRow("C1 control U+0080") << QStringLiteral("\u0080") << false;
    QTest::addRow("next line U+0085") << QStringLiteral("a\u0085b") << false;
    QTest::addRow("C1 control U+009F") << QStringLiteral("\u009f") << false;
    QTest::addRow("no-break space U+00A0") << QStringLiteral("\u00a0") << true;
    QTest::addRow("line separator U+2028") << QStringLiteral("\u2028") << false;
    QTest::addRow("paragraph separator U+2029") << QStringLiteral("x\u2029") << false;
    QTest::addRow("emoji") << QStringLiteral("\U0001F511") << true;
}

void TestVaultFormat::storable()
{
    QFETCH(QString, text);
    QFETCH(bool, storable);

    QCOMPARE(isStorableText(text), storable);
}

void TestVaultFormat::wrongKey_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("wrongKey");

    const QByteArray pairs[][2] = { { "secret", "Secret" }, { "secret", "secre" },
        { "secret", "secret1" }, { "secret", "hunter2" }, { "p", "q" } };
    for (int count : { 1, 3, 20 }) {
        for (const auto &pair : pairs) {
            QTest::addRow("%d entries, \"%s\" read with \"%s\"", count, pair[0].constData(),
                pair[1].constData())
                << count << pair[0] << pair[1];
        }
    }
}

// A vault deciphered with another key than it was saved with does not pass
// for vault text.
void TestVaultFormat::wrongKey()
{
    QFETCH(int, count);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, wrongKey);

    const Entries entries = realisticEntries(count);
    const QByteArray file = TestSupport::xorBytes(encodeVault(entries), key);
    const std::optional<Entries> right = decodeVault(TestSupport::xorBytes(file, key));
    QVERIFY(right);
    QCOMPARE(*right, entries);
    QVERIFY(!decodeVault(TestSupport::xorBytes(file, wrongKey)));
}

KEYLOFT_GUILESS_TEST_MAIN(TestVaultFormat)
#include "tst_vaultformat.moc"
