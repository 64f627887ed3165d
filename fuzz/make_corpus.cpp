// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Writes the seed corpus of fuzz_vault into the folder given as argument:
// vault files made by the program's own encoder and cipher, each stored as
// the fuzz input layout wants it (key-length byte, key, file content).

#include "vault/vaultcipher.h"
#include "vault/vaultformat.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>

namespace {

QList<Entry> sampleEntries()
{
    return { { QStringLiteral("mail.example.com"), QStringLiteral("alice.smith"),
                 QStringLiteral("Tr0ub4dor&3") },
        { QStringLiteral("bank"), QStringLiteral("alice-1984"),
            QStringLiteral("correct horse battery staple") },
        { QStringLiteral("github.com"), QStringLiteral("asmith@example.org"),
            QStringLiteral("x9!Qz#w2$Lp7") } };
}

class CorpusWriter
{
public:
    explicit CorpusWriter(const QString &folder)
        : folder(folder)
    { }

    // Stores `text` enciphered with `fileKey` and given to the fuzzer with
    // `readKey`, which differs from it for a wrong master password.
    void write(const char *name, const QByteArray &text, const QByteArray &fileKey,
        const QByteArray &readKey)
    {
        if (readKey.size() > 255) {
            std::fprintf(stderr, "make_fuzz_corpus: key of %s too long\n", name);
            failed = true;
            return;
        }
        QByteArray input(1, char(readKey.size()));
        input += readKey;
        input += xorCipher(text, fileKey);
        QFile file(folder + QLatin1Char('/') + QLatin1String(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(input) != input.size()) {
            std::fprintf(stderr, "make_fuzz_corpus: cannot write %s\n", name);
            failed = true;
        }
    }

    void write(const char *name, const QList<Entry> &entries, const QByteArray &key)
    {
        write(name, encodeVault(entries), key, key);
    }

    bool failed = false;

private:
    QString folder;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_corpus <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "make_fuzz_corpus: cannot create %s\n", argv[1]);
        return 1;
    }
    CorpusWriter corpus(folder);
    const QList<Entry> samples = sampleEntries();
    const QByteArray key = QByteArrayLiteral("hunter2 is my master password");

    corpus.write("plain", samples, key);
    corpus.write("plain-one-byte-key", samples, QByteArrayLiteral("k"));
    corpus.write("plain-no-key", samples, QByteArray());
    corpus.write("key-longer-than-file", { { QStringLiteral("a"), QString(), QString() } },
        QByteArray(200, 'K'));
    corpus.write("empty", QList<Entry>(), key);
    corpus.write("wrong-key", encodeVault(samples), key, QByteArrayLiteral("hunter3"));
    corpus.write("wrong-key-one-byte-off", encodeVault(samples), key,
        QByteArrayLiteral("hunter2 is my master passworD"));

    // A carriage return at the end of the password gives CRLF line ends.
    QList<Entry> crlf = samples;
    for (Entry &entry : crlf)
        entry.password += QLatin1Char('\r');
    corpus.write("crlf", crlf, key);

    corpus.write("non-ascii",
        { { QStringLiteral("caf\u00e9.example"), QStringLiteral("J\u00fcrgen"),
              QStringLiteral("\u00e4\u00f6\u00fc\u00df") },
            { QStringLiteral("\u4f8b\u3048.jp"), QStringLiteral("\u0434\u0438\u043c\u0430"),
                QString::fromUtf8("\xf0\x9f\x94\x91\xe2\x82\xac") } },
        QString::fromUtf8("P\xc3\xa4sswort \xe2\x9c\x93").toUtf8());

    QList<Entry> many;
    for (int i = 0; i < 60; ++i) {
        Entry entry = samples[i % samples.size()];
        entry.service += QString::number(i);
        many << entry;
    }
    corpus.write("many-entries", many, QByteArray(255, 'z'));

    // Entries with nothing but whitespace encode to blank lines.
    corpus.write("blank-lines",
        { samples[0], { QStringLiteral(" "), QString(), QString() }, samples[1],
            { QString(), QString(), QString() },
            { QStringLiteral("\r"), QStringLiteral("  "), QStringLiteral("\r") }, samples[2] },
        key);

    // Field text the format does not escape: a tab gives extra fields, a line
    // feed a line of too few fields, a control character a refused text.
    corpus.write("tab-in-field",
        { { QStringLiteral("ser\tvice"), QStringLiteral("user"), QStringLiteral("pa\tss") } }, key);
    corpus.write("line-feed-in-field",
        { { QStringLiteral("two\nlines"), QStringLiteral("user"), QStringLiteral("pass") } }, key);
    corpus.write("control-character",
        { { QStringLiteral("bell\a"), QStringLiteral("user"), QStringLiteral("pass") } }, key);

    QByteArray unterminated = encodeVault(samples);
    unterminated.chop(1);
    corpus.write("no-final-line-feed", unterminated, key, key);

    return corpus.failed ? 1 : 0;
}
