#include "core/model/window_model.h"

#include <QSet>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

TEST(WindowModel, TimersStartWithTheirDesignValues) {
    const Window w;
    EXPECT_FALSE(w.timer1.Running());
    EXPECT_EQ(w.timer1.intervalMs, 100);
    EXPECT_FALSE(w.timer2.Running());
    EXPECT_TRUE(w.timer3.enabled);
    EXPECT_EQ(w.timer3.intervalMs, 0);
    EXPECT_FALSE(w.timer3.Running()) << "an interval of 0 never fires";
    EXPECT_FALSE(w.timer4.enabled);
    EXPECT_EQ(w.timer4.intervalMs, 20);
    EXPECT_TRUE(w.timer5.Running());
    EXPECT_EQ(w.timer5.intervalMs, 500);
    EXPECT_FALSE(w.timer6.enabled);
    EXPECT_EQ(w.timer6.intervalMs, 200);
}

TEST(WindowModel, CaptionsThatLogicComparesAreExact) {
    const Window w;
    EXPECT_EQ(w.aeroButton1[0].caption, QString::fromUtf8("开始录音"));
    EXPECT_EQ(w.aeroButton1[1].caption, QString::fromUtf8("播放录音"));
    EXPECT_EQ(w.aeroButton1[2].caption, QString::fromUtf8("播放"));
    EXPECT_EQ(w.aeroButton1[7].caption, QStringLiteral(">>|"));
    EXPECT_EQ(w.aeroButton1[8].caption, QStringLiteral("|<<"));
    EXPECT_EQ(w.aeroCheckBox1[0].caption, QString::fromUtf8("文本显示    "));
    EXPECT_EQ(w.aeroCheckBox1[1].caption, QString::fromUtf8("光标跟随     "));
    EXPECT_EQ(w.aeroCheckBox1[2].caption, QString::fromUtf8("顺序播放    "));
    EXPECT_EQ(w.idmFile.caption, QString::fromUtf8(" 文件"));
    EXPECT_EQ(w.idmPlayReread.caption, QString::fromUtf8("播放(复读)"));
    EXPECT_EQ(w.label7[2].caption, QStringLiteral("--"));
    EXPECT_EQ(w.label3[0].caption, QStringLiteral("A00:00"));
    EXPECT_EQ(w.label3[1].caption, QStringLiteral("B00:00"));
    EXPECT_EQ(w.combo1[0].text, QStringLiteral("Combo1"));
    EXPECT_TRUE(w.combo1[0].items.isEmpty());
}

TEST(WindowModel, EveryCommandAndMenuItemStartsEnabled) {
    const Window w;
    for (const Button& b : w.aeroButton1)
        EXPECT_TRUE(b.enabled) << b.caption.toStdString();
    for (const MenuItem* m : {&w.idmOpenMp3, &w.idmDeleteList, &w.idmClearList, &w.idmPlayReread,
                              &w.idmBPoint, &w.idmPre, &w.idmNext, &w.idmPlayRecord, &w.idmRecordSave})
        EXPECT_TRUE(m->enabled && m->visible) << m->caption.toStdString();
}

TEST(WindowModel, ShortcutsAreDistinctAndSegmentStepsMatchTheirDirection) {
    const Window w;
    const MenuItem* items[] = {
        &w.idmOpenMp3,  &w.idmOpenMp3List, &w.idmListSave,   &w.idmDeleteList, &w.idmClearList,
        &w.idmClose,    &w.idmRecordStart, &w.idmPlayRecord, &w.idmRecordSave, &w.idmPlayReread,
        &w.idmAPoint,   &w.idmBPoint,      &w.idmPre,        &w.idmNext,       &w.idmDeleteCurrentAB,
        &w.idmDeleteAB, &w.idmPlay,        &w.idmPause,      &w.idmStop,       &w.idmUser};
    QSet<QString> seen;
    for (const MenuItem* m : items) {
        EXPECT_FALSE(m->shortcut.isEmpty()) << m->caption.toStdString();
        EXPECT_FALSE(seen.contains(m->shortcut)) << m->shortcut.toStdString();
        seen.insert(m->shortcut);
    }
    EXPECT_EQ(w.idmPre.shortcut, QStringLiteral("F5"));
    EXPECT_EQ(w.idmPre.caption, QString::fromUtf8("上一步"));
    EXPECT_EQ(w.idmNext.shortcut, QStringLiteral("F6"));
    EXPECT_EQ(w.idmNext.caption, QString::fromUtf8("下一步"));
}

TEST(WindowModel, MarksAndPanesHaveTheirDesignPlaces) {
    const Window w;
    EXPECT_EQ(w.picture2[0].geometry, (TwipsRect{3600, 6960, 585, 195}));
    EXPECT_EQ(w.picture2[1].geometry, (TwipsRect{4200, 6960, 585, 195}));
    EXPECT_EQ(w.image1[1].geometry, (TwipsRect{4920, 7920, 585, 360}));
    EXPECT_EQ(w.wmPlayer1, (TwipsRect{3600, 8160, 10455, 735}));
    EXPECT_EQ(w.aeroTextBox1.geometry, (TwipsRect{6960, 720, 5775, 4935}));
    EXPECT_EQ(w.aeroGroupBox1.geometry, (TwipsRect{120, 6120, 3375, 2895}));
    EXPECT_EQ(w.label3[0].background, (Rgb{255, 255, 128}));
    EXPECT_EQ(w.label3[1].background, (Rgb{255, 0, 255}));
    EXPECT_EQ(w.label6[0].foreground, (Rgb{255, 0, 0}));
    EXPECT_EQ(w.label8.foreground, (Rgb{255, 0, 0}));
}

}  // namespace
}  // namespace ostrelle
