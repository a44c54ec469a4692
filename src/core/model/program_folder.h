#pragma once

#include <QString>

#include <functional>

namespace ostrelle {

// Where the program finds its own files and keeps the learner's. installDir holds what ships with the
// program ("introduce.mp3"); dataDir holds the settings, database and recording. They differ only when
// the executable's folder cannot be written.
struct ProgramFolder {
    QString installDir;
    QString dataDir;
    // Set at the start when the learner's files were copied from an unwritable installDir to dataDir.
    bool carriedOver = false;
    // Set when they are read where they are, in an installDir that cannot be written.
    bool readOnly = false;

    QString SettingsFile() const { return dataDir + QStringLiteral("/OSTRELLE.ini"); }
    QString DatabaseFile() const { return dataDir + QStringLiteral("/quillan.mdb"); }
    QString RecordingFile() const { return dataDir + QStringLiteral("/temp.wav"); }
    QString IntroductionFile() const { return installDir + QStringLiteral("/introduce.mp3"); }
};

// installDir as given; dataDir is installDir when a file can be created there, else fallbackDataDir,
// created on demand. The learner's files already in an unwritable installDir are carried over to a
// fallback that holds none of its own; when that fails they are read in place. Paths come back without a
// trailing separator.
ProgramFolder ResolveProgramFolder(const QString& installDir, const QString& fallbackDataDir);
// The same, with the test of whether a folder can be written given (root can write anywhere).
ProgramFolder ResolveProgramFolder(const QString& installDir, const QString& fallbackDataDir,
                                   const std::function<bool(const QString& dir)>& canCreateFilesIn);

// The executable's folder, falling back to the per-user data folder.
ProgramFolder ResolveProgramFolder();

}  // namespace ostrelle
