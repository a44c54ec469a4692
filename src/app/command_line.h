#pragma once

#include <QString>
#include <QStringList>

namespace ostrelle {

// What the program was asked on its command line.
struct CommandLine {
    QStringList files;  // absolute paths, in the order given
    // Set when the program only prints this and exits with exitCode: --help, --version, or a mistake.
    QString message;
    int exitCode = 0;
    bool ExitsAtOnce() const { return !message.isEmpty(); }
};

// arguments as QCoreApplication::arguments() gives them, the program's own path first; relative paths are
// taken from currentFolder. "--" ends the options, so a file may be called "--help".
CommandLine ParseCommandLine(const QStringList& arguments, const QString& currentFolder);

}  // namespace ostrelle
