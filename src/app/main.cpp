#include "app/program_folder.h"
#include "app/window_model.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ostrelle"));
    const ostrelle::ProgramFolder folder = ostrelle::ResolveProgramFolder();
    const ostrelle::Window model;

    QMainWindow window;
    window.setWindowTitle(QString::fromUtf8("Ostrelle V2.0    (操作方法请注意下面提示)"));
    window.resize(model.kClientWidthTwips / 15, model.kClientHeightTwips / 15);
    auto* usage = new QLabel(model.label1[0].caption, &window);
    usage->setWordWrap(true);
    window.setCentralWidget(usage);
    window.show();
    return app.exec();
}
