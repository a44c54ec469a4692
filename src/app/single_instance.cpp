#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace ostrelle {
namespace {

constexpr char kTaken = 'k';
// Far beyond any real hand-over; a longer message is not read into memory.
constexpr quint32 kMaxMessageBytes = 4 * 1024 * 1024;

QString SocketName(const QString& databaseFile) {
    const QByteArray key = QFileInfo(databaseFile).absoluteFilePath().toUtf8();
    return QStringLiteral("ostrelle-") +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
}

}  // namespace

SingleInstance::SingleInstance(const QString& databaseFile, const QString& runtimeFolder)
    : socketPath_(runtimeFolder + u'/' + SocketName(databaseFile)),
      lock_(socketPath_ + QStringLiteral(".lock")) {
    QDir().mkpath(runtimeFolder);
    lock_.setStaleLockTime(0);  // only a lock whose program has ended is stale
}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
}

bool SingleInstance::First() {
    // A folder where no lock can be made cannot tell the copies apart: each runs on its own, as before.
    return lock_.tryLock(0) || lock_.error() == QLockFile::PermissionError ||
           lock_.error() == QLockFile::UnknownError;
}

bool SingleInstance::HandOver(const QStringList& files, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The first start may still be on its way to serving.
    while (true) {
        socket.connectToServer(socketPath_);
        if (socket.waitForConnected(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) break;
        if (deadline.hasExpired()) return false;
        QThread::msleep(50);
    }
    // The paths, UTF-8 and separated by NUL, which no path holds, after their length in bytes.
    const QByteArray body = files.join(QChar(0)).toUtf8();
    QByteArray message;
    QDataStream(&message, QIODevice::WriteOnly) << static_cast<quint32>(body.size());
    socket.write(message + body);
    if (!socket.waitForBytesWritten(static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))))
        return false;
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))))
            return false;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == kTaken;
}

bool SingleInstance::Serve(std::function<void(const QStringList& files)> received) {
    received_ = std::move(received);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Left by a program that ended without closing it; the lock says no other serves it now.
    QLocalServer::removeServer(socketPath_);
    if (!server_->listen(socketPath_)) return false;
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (socket->bytesAvailable() < 4) return;
                quint32 length = 0;
                QDataStream(socket->peek(4)) >> length;
                if (length > kMaxMessageBytes) {
                    socket->abort();
                    return;
                }
                if (socket->bytesAvailable() < 4 + static_cast<qint64>(length)) return;  // more is on its way
                socket->skip(4);
                const QString body = QString::fromUtf8(socket->read(length));
                const QStringList files = body.isEmpty() ? QStringList() : body.split(QChar(0));
                socket->putChar(kTaken);
                socket->flush();
                // Outside the socket's own signal: opening files may show a dialog with its own event loop.
                QTimer::singleShot(0, server_.get(), [this, files] {
                    if (received_) received_(files);
                });
            });
        }
    });
    return true;
}

}  // namespace ostrelle
