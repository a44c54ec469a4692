#include "core/model/program_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace ostrelle {
namespace {

QString Clean(const QString& dir) {
    QString clean = QDir::cleanPath(dir);
    if (clean.size() > 1 && clean.endsWith(u'/')) clean.chop(1);
    return clean;
}

// Permission bits do not tell (root ignores them, mounts may be read-only): try to create a file.
bool CanCreateFilesIn(const QString& dir) {
    if (!QDir(dir).exists()) return false;
    QTemporaryFile probe(dir + QStringLiteral("/.ostrelle-probe-XXXXXX"));
    return probe.open();
}

}  // namespace

ProgramFolder ResolveProgramFolder(const QString& installDir, const QString& fallbackDataDir) {
    ProgramFolder folder{Clean(installDir), Clean(installDir)};
    if (!CanCreateFilesIn(folder.installDir)) {
        folder.dataDir = Clean(fallbackDataDir);
        QDir().mkpath(folder.dataDir);
    }
    return folder;
}

ProgramFolder ResolveProgramFolder() {
    return ResolveProgramFolder(QCoreApplication::applicationDirPath(),
                                QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
}

}  // namespace ostrelle
