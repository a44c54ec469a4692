#pragma once

#include <QString>

namespace ostrelle {

// Where the program finds its own files and keeps the learner's. installDir holds what ships with the
// program ("introduce.mp3"); dataDir holds the settings, database and recording. They differ only when
// the executable's folder cannot be written.
struct ProgramFolder {
    QString installDir;
    QString dataDir;

    QString SettingsFile() const { return dataDir + QStringLiteral("/OSTRELLE.ini"); }
    QString DatabaseFile() const { return dataDir + QStringLiteral("/quillan.mdb"); }
    QString RecordingFile() const { return dataDir + QStringLiteral("/temp.wav"); }
    QString IntroductionFile() const { return installDir + QStringLiteral("/introduce.mp3"); }
};

// installDir as given; dataDir is installDir when a file can be created there, else fallbackDataDir,
// created on demand. Paths come back without a trailing separator.
ProgramFolder ResolveProgramFolder(const QString& installDir, const QString& fallbackDataDir);

// The executable's folder, falling back to the per-user data folder.
ProgramFolder ResolveProgramFolder();

}  // namespace ostrelle
