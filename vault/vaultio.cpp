#include "vault/vaultio.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

bool writeAll(QFileDevice &file, const QByteArray &content)
{
    return file.write(content) == content.size();
}

WriteOutcome writeInPlace(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return WriteOutcome::OpenFailed;
    const QByteArray previous = file.readAll();
    const bool readWhole = file.error() == QFileDevice::NoError;
    file.close();
    if (!readWhole || !file.open(QIODevice::WriteOnly))
        return WriteOutcome::OpenFailed;
    if (writeAll(file, content) && file.flush())
        return WriteOutcome::Written;

    file.close();
    if (file.open(QIODevice::WriteOnly))
        writeAll(file, previous);
    return WriteOutcome::WriteFailed;
}

} // namespace

WriteOutcome writeVaultFile(const QString &path, const QByteArray &content)
{
    const QFileInfo target(path);
    const bool existed = target.exists();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (existed && target.isFile() && target.isWritable())
            return writeInPlace(path, content);
        return WriteOutcome::OpenFailed;
    }
    if (!existed && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return WriteOutcome::OpenFailed;
    }
    // QSaveFile::commit() does not see a failure to flush its last buffered
    // bytes, so the flush is checked here, before the file takes the old one's place.
    if (!writeAll(file, content) || !file.flush()) {
        file.cancelWriting();
        return WriteOutcome::WriteFailed;
    }
    return file.commit() ? WriteOutcome::Written : WriteOutcome::WriteFailed;
}

ReadOutcome readVaultFile(const QString &path, QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReadOutcome::OpenFailed;
    content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        content.clear();
        return ReadOutcome::ReadFailed;
    }
    return ReadOutcome::Read;
}
