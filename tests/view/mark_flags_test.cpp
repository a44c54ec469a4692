#include "core/operations/segment_display.h"
#include "view/main_window_fixture.h"
#include "view/picture_widget.h"

#include <QApplication>
#include <QTest>

#include <cmath>

namespace ostrelle {
namespace {

// The list keeps a length in whole seconds; the player knows the file's own.
TEST_F(MainWindowTest, AMarkSetWithF2StandsWhereItsTimeIsDrawnLaterAndCloseFlagsStayInSight) {
    WriteIni("Fist", "run", "1");
    const QString lesson = MakeFile(QStringLiteral("lesson.mp3"));
    AddRow(lesson, QStringLiteral("0:10"));
    player_.duration_ = 10.4;
    MainWindow& w = Start();
    app_.LoadFirstEntry();
    w.Render();
    QApplication::setActiveWindow(&w);
    player_.SetCurrentPosition(5);
    QTest::keyClick(&w, Qt::Key_F2);
    const int a = window().markFlags[0].geometry.left;
    EXPECT_EQ(w.MarkFlagWidget(0)->geometry().center().x(), std::lround(a / 15.0))
        << "a lone flag stands centred over A";
    player_.SetCurrentPosition(5.2);
    QTest::keyClick(&w, Qt::Key_F3);
    const int b = window().markFlags[1].geometry.left;

    // 0.2 s apart: the flags' bars would cover each other.
    const std::array<FlagPlace, 2> flags = MarkFlagPlaces(window());
    EXPECT_LE(flags[0].bar.left + flags[0].bar.width, flags[1].bar.left);
    EXPECT_FALSE(w.MarkFlagWidget(0)->geometry().intersects(w.MarkFlagWidget(1)->geometry()));

    app_.LoadFirstEntry();
    w.Render();
    EXPECT_EQ(window().markFlags[0].geometry.left, a);
    EXPECT_EQ(window().markFlags[1].geometry.left, b);
}

}  // namespace
}  // namespace ostrelle
