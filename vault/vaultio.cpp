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

// A vault is a regular file. Anything else at the path (a pipe, a device, a
// socket) would block, never end, or be replaced by the save.
bool isSomethingElse(const QFileInfo &target)
{
    return target.exists() && !target.isFile();
}

} // namespace

WriteOutcome writeVaultFile(const QString &path, const QByteArray &content)
{
    const QFileInfo target(path);
    if (isSomethingElse(target))
        return WriteOutcome::OpenFailed;
    const bool existed = target.exists();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (existed && target.isWritable())
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
    if (isSomethingElse(QFileInfo(path)))
        return ReadOutcome::OpenFailed;
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
