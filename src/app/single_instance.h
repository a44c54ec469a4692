#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace ostrelle {

// One window per database: the first start of the program serves a local socket beside a lock in the
// runtime folder; a later start hands its files over through it and exits.
class SingleInstance {
public:
    // Both named after the database file, so copies kept in different folders run side by side.
    SingleInstance(const QString& databaseFile, const QString& runtimeFolder);
    ~SingleInstance();

    // True for the first start, which then holds the lock while it runs.
    bool First();
    // A later start: true when the running program took the files (an empty list only raises its window).
    bool HandOver(const QStringList& files, int timeoutMs = 5000);
    // The first start: files handed over come to received, on this thread's event loop.
    bool Serve(std::function<void(const QStringList& files)> received);

private:
    QString socketPath_;
    QLockFile lock_;
    std::unique_ptr<QLocalServer> server_;
    std::function<void(const QStringList&)> received_;
};

}  // namespace ostrelle
