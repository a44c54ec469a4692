#include "core/model/program_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    return ResolveProgramFolder(installDir, fallbackDataDir, CanCreateFilesIn);
}

ProgramFolder ResolveProgramFolder(const QString& installDir, const QString& fallbackDataDir,
                                   const std::function<bool(const QString& dir)>& canCreateFilesIn) {
    const ProgramFolder inPlace{Clean(installDir), Clean(installDir)};
    if (canCreateFilesIn(inPlace.installDir)) return inPlace;
    ProgramFolder folder{inPlace.installDir, Clean(fallbackDataDir)};
    QDir().mkpath(folder.dataDir);

    const auto learnersFiles = [](const ProgramFolder& f) {
        QStringList present;
        for (const QString& file : {f.SettingsFile(), f.DatabaseFile(), f.RecordingFile()})
            if (QFileInfo::exists(file)) present << file;
        return present;
    };
    const QStringList there = learnersFiles(inPlace);
    // A fallback with files of its own has been in use since: it holds the newer list.
    if (there.isEmpty() || !learnersFiles(folder).isEmpty()) return folder;
    QStringList toCopy = there;
    // The database's last commits may still be in its log: it goes with it.
    const QString log = inPlace.DatabaseFile() + QStringLiteral("-wal");
    if (there.contains(inPlace.DatabaseFile()) && QFileInfo::exists(log)) toCopy << log;
    QStringList copied;
    for (const QString& file : toCopy) {
        const QString copy = folder.dataDir + u'/' + QFileInfo(file).fileName();
        if (!QFile::copy(file, copy)) {
            for (const QString& made : copied)
                QFile::remove(made);
            ProgramFolder readOnly = inPlace;
            readOnly.readOnly = true;
            return readOnly;
        }
        copied << copy;
    }
    folder.carriedOver = true;
    return folder;
}

ProgramFolder ResolveProgramFolder(const ProgramPlaces& places) {
    const auto introductionIn = [](const QString& dir) { return ProgramFolder{dir, dir}.IntroductionFile(); };
    // A build folder or a copy carried about keeps its files beside the executable, even under a prefix.
    const bool installed = !QFileInfo::exists(introductionIn(places.executableDir)) &&
                           QFileInfo::exists(introductionIn(places.sharedDir));
    if (!installed) return ResolveProgramFolder(places.executableDir, places.userDataDir);
    const ProgramFolder folder{Clean(places.sharedDir), Clean(places.userDataDir)};
    QDir().mkpath(folder.dataDir);
    return folder;
}

ProgramFolder ResolveThisProgramsFolder(const QString& sharedDirFromExecutable) {
    const QString executableDir = QCoreApplication::applicationDirPath();
    return ResolveProgramFolder({executableDir, QDir(executableDir).filePath(sharedDirFromExecutable),
                                 QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)});
}

}  // namespace ostrelle
