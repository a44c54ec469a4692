#include "core/formats/atomic_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ostrelle {
namespace {

Failure CannotWrite(const QString& path, int error) {
    return {FailureCode::CannotWrite,
            QStringLiteral("%1: %2").arg(QFileInfo(path).fileName(),
                                         QString::fromLocal8Bit(std::strerror(error)))};
}

}  // namespace

void RemoveStaleTemporaries(const QString& path) {
    const QFileInfo target(path);
    QDir folder = target.dir();
    const QDateTime before = QDateTime::currentDateTime().addSecs(-60);
    for (const QFileInfo& temp :
         folder.entryInfoList({target.fileName() + QStringLiteral(".tmp-*")}, QDir::Files | QDir::Hidden)) {
        if (temp.lastModified() < before) folder.remove(temp.fileName());
    }
}

Result<void> CopyFileAtomically(const QString& source, const QString& target) {
    QFile file(source);
    if (!QFileInfo(source).isFile() || !file.open(QIODevice::ReadOnly))
        return Failure{FailureCode::CannotRead,
                       QStringLiteral("%1: %2").arg(QFileInfo(source).fileName(), file.errorString())};
    return WriteFileAtomically(target, file.readAll());
}

Result<void> WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    // Write through a symbolic link to the file it names, as an in-place write would.
    const QFileInfo info(path);
    const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : path;
    const QByteArray targetName = QFile::encodeName(target);
    // A rename would replace a read-only file as if it were not: its owner said it must not change.
    struct stat existing {};
    if (stat(targetName.constData(), &existing) == 0 && S_ISREG(existing.st_mode) &&
        ((existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
         access(targetName.constData(), W_OK) != 0))
        return Failure{FailureCode::CannotWrite,
                       QFileInfo(target).fileName() + QString::fromUtf8(": 文件是只读的")};
    QByteArray tempName = targetName + ".tmp-XXXXXX";

    const int fd = mkstemp(tempName.data());
    if (fd < 0) return CannotWrite(target, errno);

    struct stat old {};
    if (stat(targetName.constData(), &old) == 0)
        fchmod(fd, old.st_mode & 07777);
    else
        fchmod(fd, 0644);

    int error = 0;
    for (qsizetype done = 0; done < bytes.size() && error == 0;) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EINTR)
            error = errno;
    }
    if (error == 0 && fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && std::rename(tempName.constData(), targetName.constData()) != 0) error = errno;
    if (error != 0) {
        ::unlink(tempName.constData());
        return CannotWrite(target, error);
    }
    return {};
}

}  // namespace ostrelle
