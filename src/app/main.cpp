#include "adapters/qt/qt_dialogs.h"
#include "app/desktop_identity.h"
#include "app/program.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ostrelle"));
    ostrelle::ApplyDesktopIdentity();
    // Standard buttons and file dialogs in Chinese, like the rest of the window.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    QTranslator translator;
    if (translator.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);

    ostrelle::QtDialogs dialogs;
    ostrelle::Program program(ostrelle::ResolveThisProgramsFolder(QStringLiteral(OSTRELLE_SHARED_FROM_BIN)),
                              dialogs);
    dialogs.SetParent(&program.window());
    program.Start();
    return application.exec();
}
