#include "adapters/qt/qt_dialogs.h"
#include "app/chinese_qt_texts.h"
#include "app/command_line.h"
#include "app/desktop_identity.h"
#include "app/program.h"
#include "app/single_instance.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>

#include <cstdio>

int main(int argc, char* argv[]) {
    // Before the application object, which needs a display that --help does not.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const ostrelle::CommandLine line = ostrelle::ParseCommandLine(arguments, QDir::currentPath());
    if (line.ExitsAtOnce()) {
        std::fputs(line.message.toLocal8Bit().constData(), line.exitCode == 0 ? stdout : stderr);
        return line.exitCode;
    }

    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ostrelle"));
    ostrelle::ApplyDesktopIdentity();
    ostrelle::InstallChineseQtTexts();

    ostrelle::ProgramFolder folder =
        ostrelle::ResolveThisProgramsFolder(QStringLiteral(OSTRELLE_SHARED_FROM_BIN));
    ostrelle::SingleInstance instance(folder.DatabaseFile(),
                                      QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
    if (!instance.First()) {
        if (instance.HandOver(line.files)) return 0;
        std::fputs("Ostrelle 已在运行，但没有回应。\nOstrelle is already running but does not answer.\n",
                   stderr);
        return 1;
    }

    ostrelle::QtDialogs dialogs;
    ostrelle::Program program(std::move(folder), dialogs);
    dialogs.SetParent(&program.window());
    instance.Serve([&program](const QStringList& files) { program.window().OpenHandedOverFiles(files); });
    program.app().OpenFilesAfterStartUp(line.files);
    program.Start();
    return application.exec();
}
