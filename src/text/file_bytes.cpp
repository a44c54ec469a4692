#include "text/file_bytes.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrelle {
namespace {

Failure Fail(FailureCode code, const QString& detail) {
    return {code, detail};
}

QString SystemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

Result<QByteArray> ReadFileBytes(const QString& path, qint64 maxBytes) {
    const QByteArray native = QFile::encodeName(path);
    // O_NONBLOCK: opening a FIFO without a writer must not wait for one.
    FileDescriptor file(::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        const int error = errno;
        return Fail(FailureCode::CannotRead,
                    QStringLiteral("cannot open %1: %2").arg(path, SystemReason(error)));
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        const int error = errno;
        return Fail(FailureCode::CannotRead,
                    QStringLiteral("cannot read %1: %2").arg(path, SystemReason(error)));
    }
    if (S_ISDIR(info.st_mode)) return Fail(FailureCode::NotAFile, QStringLiteral("%1 is a folder").arg(path));
    if (!S_ISREG(info.st_mode))
        return Fail(FailureCode::NotAFile, QStringLiteral("%1 is not a regular file").arg(path));
    if (info.st_size > maxBytes) {
        return Fail(FailureCode::TooLarge,
                    QStringLiteral("file too large: %1 is %2 bytes, at most %3 can be shown")
                        .arg(path)
                        .arg(info.st_size)
                        .arg(maxBytes));
    }

    // The file may grow while it is read: read at most one byte past the limit to notice.
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(info.st_size) + 1);
    qint64 total = 0;
    for (;;) {
        if (total == bytes.size()) {
            if (total > maxBytes) break;
            bytes.resize(static_cast<qsizetype>(std::min<qint64>(total * 2 + 4096, maxBytes + 1)));
        }
        const ssize_t got =
            ::read(file.get(), bytes.data() + total, static_cast<size_t>(bytes.size() - total));
        if (got < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            return Fail(FailureCode::CannotRead,
                        QStringLiteral("cannot read %1: %2").arg(path, SystemReason(error)));
        }
        if (got == 0) break;
        total += got;
    }
    if (total > maxBytes) {
        return Fail(FailureCode::TooLarge,
                    QStringLiteral("file too large: %1 is over %2 bytes").arg(path).arg(maxBytes));
    }
    bytes.truncate(static_cast<qsizetype>(total));
    return bytes;
}

}  // namespace ostrelle
