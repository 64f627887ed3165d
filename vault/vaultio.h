#pragma once

#include <QByteArray>
#include <QString>

enum class WriteOutcome { Written, OpenFailed, WriteFailed };
enum class ReadOutcome { Read, OpenFailed, ReadFailed };

// Replaces the file at `path` with `content`. The bytes go to a temporary file
// beside it that takes the old file's place only once all of them are written,
// so a failed save (a full disk, an I/O error) leaves the old file exactly as
// it was. Where the folder refuses the temporary file but the file itself is
// writable, the file is written in place, and on failure its old bytes are
// put back. A file this creates is readable and writable by its owner only;
// an existing file keeps its permissions.
WriteOutcome writeVaultFile(const QString &path, const QByteArray &content);

// Reads the whole file at `path` into `content`.
ReadOutcome readVaultFile(const QString &path, QByteArray &content);
