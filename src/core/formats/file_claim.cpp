#include "core/formats/file_claim.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace ostrelle {

FileClaim FileClaim::Take(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    // flock, not fcntl: its lock belongs to this open file, so a second claim in the same process fails too.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return {};
    }
    return FileClaim(fd);
}

FileClaim::FileClaim(FileClaim&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileClaim& FileClaim::operator=(FileClaim&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FileClaim::~FileClaim() {
    Release();
}

void FileClaim::Release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace ostrelle
