// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultformat.h"

#include <QStringEncoder>

#include <algorithm>

namespace {

constexpr char fieldSeparator = '\t';
constexpr char lineEnd = '\n';

bool isAsciiWhitespace(unsigned char byte)
{
    return (byte >= 0x09 && byte <= 0x0D) || byte == 0x20;
}

bool isRefusedControlByte(unsigned char byte)
{
    return (byte < 0x20 && byte != 0x09 && byte != 0x0A && byte != 0x0D) || byte == 0x7F;
}

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF)
// without the control bytes a save never writes.
bool isSavedText(const QByteArray &text)
{
    return text.isValidUtf8() && std::none_of(text.cbegin(), text.cend(), [](char c) {
        return isRefusedControlByte(static_cast<unsigned char>(c));
    });
}

bool isBlank(const char *begin, const char *end)
{
    return std::all_of(
        begin, end, [](char c) { return isAsciiWhitespace(static_cast<unsigned char>(c)); });
}

} // namespace

QByteArray encodeVault(const QList<Entry> &entries)
{
    // One buffer sized for the worst case (three bytes for every UTF-16 unit)
    // and filled in a single pass, instead of a temporary per field.
    QStringEncoder toUtf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    qsizetype units = 0;
    for (const Entry &entry : entries)
        units += entry.service.size() + entry.username.size() + entry.password.size() + 3;
    QByteArray text(toUtf8.requiredSpace(units), Qt::Uninitialized);
    char *out = text.data();
    for (const Entry &entry : entries) {
        out = toUtf8.appendToBuffer(out, entry.service);
        *out++ = fieldSeparator;
        out = toUtf8.appendToBuffer(out, entry.username);
        *out++ = fieldSeparator;
        out = toUtf8.appendToBuffer(out, entry.password);
        *out++ = lineEnd;
    }
    text.truncate(out - text.constData());
    return text;
}

std::optional<QList<Entry>> decodeVault(const QByteArray &text, bool *lossless)
{
    if (!isSavedText(text))
        return std::nullopt;

    QList<Entry> entries;
    bool dropped = false;
    const char *const end = text.constData() + text.size();
    for (const char *line = text.constData();;) {
        const char *lineStop = std::find(line, end, lineEnd);
        if (isBlank(line, lineStop)) {
            // The empty piece after the last line feed is no line of its own.
            dropped = dropped || line != end;
        } else {
            const char *fields[4] = { line };
            int found = 1;
            for (const char *at = line; found < 4; ++found) {
                at = std::find(at, lineStop, fieldSeparator);
                if (at == lineStop)
                    break;
                fields[found] = ++at;
            }
            if (found < 3)
                return std::nullopt;
            // A field ends where the next one starts, less its tab; the third
            // ends at the fourth field's tab or at the end of the line.
            const char *thirdStop = found > 3 ? fields[3] - 1 : lineStop;
            dropped = dropped || found > 3;
            entries.append({ QString::fromUtf8(fields[0], fields[1] - 1 - fields[0]),
                QString::fromUtf8(fields[1], fields[2] - 1 - fields[1]),
                QString::fromUtf8(fields[2], thirdStop - fields[2]) });
        }
        if (lineStop == end)
            break;
        line = lineStop + 1;
    }
    if (lossless)
        *lossless = !dropped;
    return entries;
}

bool isBlankEntry(const Entry &entry)
{
    const auto blank = [](const QString &field) {
        return std::all_of(field.cbegin(), field.cend(),
            [](QChar c) { return c.unicode() < 0x80 && isAsciiWhitespace(uchar(c.unicode())); });
    };
    return blank(entry.service) && blank(entry.username) && blank(entry.password);
}

bool isStorableText(const QString &text)
{
    // C0 and C1 controls, DEL, and the Unicode line and paragraph separators,
    // which a table cell or a text editor shows as line breaks.
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) {
        const char16_t unit = c.unicode();
        return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x2028 || unit == 0x2029;
    });
}
