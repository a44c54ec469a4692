#include "app/ostrelle.h"
#include "app/program_folder.h"
#include "app/view/main_window.h"
#include "app/view/qt_dialogs.h"
#include "playback/gst/gst_media_player.h"
#include "playlist/gst/gst_duration_probe.h"
#include "recorder/gst/gst_wave_device.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ostrelle"));
    // Standard buttons and file dialogs in Chinese, like the rest of the window.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    QTranslator translator;
    if (translator.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);

    const ostrelle::ProgramFolder folder = ostrelle::ResolveProgramFolder();
    ostrelle::QtDialogs dialogs;
    ostrelle::OpenResult database = ostrelle::PlaylistDatabase::Open(folder.DatabaseFile());
    if (database.failure) {
        // Told once; the file is kept as it is and the rest of the program works without a list.
        dialogs.ShowMessage(database.failure.message, QStringLiteral("Ostrelle"),
                            ostrelle::MessageButtons::Ok);
    }
    ostrelle::GstMediaPlayer player;
    ostrelle::GstDurationProbe probe;
    ostrelle::GstWaveDevice waveDevice;
    ostrelle::Ostrelle ostrelle({player, dialogs, probe, waveDevice, database.database.get()}, folder);
    ostrelle::MainWindow window(ostrelle, player);
    dialogs.SetParent(&window);
    ostrelle.Form_Load();
    window.Render();
    window.show();
    return app.exec();
}
