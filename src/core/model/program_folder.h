#pragma once

#include <QString>

#include <functional>

namespace ostrelle {

// Where the program finds its own files and keeps the learner's. installDir holds what ships with the
// program ("introduce.mp3"); dataDir holds the settings, database and recording. They differ when the
// program is installed, or when the executable's folder cannot be written.
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

// Where an executable lies, where an installation puts what ships with it (<prefix>/share/ostrelle for
// an executable in <prefix>/bin), and the per-user data folder.
struct ProgramPlaces {
    QString executableDir;
    QString sharedDir;
    QString userDataDir;
};

// An installed program (the introduction in sharedDir and none beside the executable) reads what ships
// from sharedDir and keeps the learner's files in userDataDir, created on demand: a system folder is never
// probed, written or reported as unwritable. Anywhere else (a build or portable folder) the executable's
// folder is the program folder as above, with userDataDir as its fallback.
ProgramFolder ResolveProgramFolder(const ProgramPlaces& places);

// The running executable's folder; sharedDirFromExecutable is relative to it.
ProgramFolder ResolveThisProgramsFolder(const QString& sharedDirFromExecutable);

}  // namespace ostrelle
