#include "core/model/window_model.h"
#include "core/model/commands.h"

#include <QSet>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

TEST(WindowModel, TimersStartWithTheirDesignValues) {
    const Window w;
    EXPECT_FALSE(w.listingTimer.Running());
    EXPECT_EQ(w.listingTimer.intervalMs, 100);
    EXPECT_FALSE(w.recorderClockTimer.Running());
    EXPECT_TRUE(w.repeatTick.enabled);
    EXPECT_EQ(w.repeatTick.intervalMs, 0);
    EXPECT_FALSE(w.repeatTick.Running()) << "an interval of 0 never fires";
    EXPECT_FALSE(w.firstEntryTimer.enabled);
    EXPECT_EQ(w.firstEntryTimer.intervalMs, 20);
    EXPECT_TRUE(w.positionTimer.Running());
    EXPECT_EQ(w.positionTimer.intervalMs, 500);
    EXPECT_FALSE(w.sequentialPlayTimer.enabled);
    EXPECT_EQ(w.sequentialPlayTimer.intervalMs, 200);
}

TEST(WindowModel, CaptionsThatLogicComparesAreExact) {
    const Window w;
    EXPECT_EQ(w.recordButton.caption, QString::fromUtf8("开始录音"));
    EXPECT_EQ(w.playRecordingButton.caption, QString::fromUtf8("播放录音"));
    EXPECT_EQ(w.playRepeatButton.caption, QString::fromUtf8("播放"));
    EXPECT_EQ(w.nextSegmentButton.caption, QStringLiteral(">>|"));
    EXPECT_EQ(w.previousSegmentButton.caption, QStringLiteral("|<<"));
    EXPECT_EQ(w.showTextBox.caption, QString::fromUtf8("文本显示    "));
    EXPECT_EQ(w.cursorFollowsBox.caption, QString::fromUtf8("光标跟随     "));
    EXPECT_EQ(w.sequentialPlayBox.caption, QString::fromUtf8("顺序播放    "));
    EXPECT_EQ(w.fileMenu.caption, QString::fromUtf8(" 文件"));
    EXPECT_EQ(w.playRepeatItem.caption, QString::fromUtf8("播放(复读)"));
    EXPECT_EQ(w.segmentRangeLabel.caption, QStringLiteral("--"));
    EXPECT_EQ(w.markCaptions[0].caption, QStringLiteral("A00:00"));
    EXPECT_EQ(w.markCaptions[1].caption, QStringLiteral("B00:00"));
    EXPECT_EQ(w.repeatCountBox.text, QStringLiteral("Combo1"));
    EXPECT_TRUE(w.repeatCountBox.items.isEmpty());
}

TEST(WindowModel, EveryCommandAndMenuItemStartsEnabled) {
    const Window w;
    for (const auto& [command, button] : CommandButtons())
        EXPECT_TRUE((w.*button).enabled) << (w.*button).caption.toStdString();
    for (const MenuItem* m :
         {&w.openFileItem, &w.deleteEntryItem, &w.clearListItem, &w.playRepeatItem, &w.setBItem,
          &w.previousSegmentItem, &w.nextSegmentItem, &w.playRecordingItem, &w.saveRecordingItem})
        EXPECT_TRUE(m->enabled && m->visible) << m->caption.toStdString();
}

TEST(WindowModel, ShortcutsAreDistinctAndSegmentStepsMatchTheirDirection) {
    const Window w;
    std::vector<const MenuItem*> items;
    for (const auto& [command, item] : AllMenuEntries())
        items.push_back(&(w.*item));
    ASSERT_EQ(items.size(), 64u);
    QSet<QString> seen;
    for (const MenuItem* m : items) {
        // Only ticked choices may go without a key.
        EXPECT_TRUE(m->checkable || !m->shortcut.isEmpty()) << m->caption.toStdString();
        if (m->shortcut.isEmpty()) continue;
        EXPECT_FALSE(seen.contains(m->shortcut)) << m->shortcut.toStdString();
        seen.insert(m->shortcut);
    }
    EXPECT_EQ(w.previousSegmentItem.shortcut, QStringLiteral("F5"));
    EXPECT_EQ(w.previousSegmentItem.caption, QString::fromUtf8("上一步"));
    EXPECT_EQ(w.nextSegmentItem.shortcut, QStringLiteral("F6"));
    EXPECT_EQ(w.nextSegmentItem.caption, QString::fromUtf8("下一步"));
}

TEST(WindowModel, MarksAndPanesHaveTheirDesignPlaces) {
    const Window w;
    EXPECT_EQ(w.markCaptionBoxes[0].geometry, (TwipsRect{3600, 6960, 585, 195}));
    EXPECT_EQ(w.markCaptionBoxes[1].geometry, (TwipsRect{4200, 6960, 585, 195}));
    EXPECT_EQ(w.markFlags[1].geometry, (TwipsRect{4920, 7920, 585, 360}));
    EXPECT_EQ(w.playerStrip, (TwipsRect{3600, 8160, 10455, 735}));
    EXPECT_EQ(w.textPane.geometry, (TwipsRect{6960, 720, 5775, 4935}));
    EXPECT_EQ(w.repeatGroup.geometry, (TwipsRect{120, 6120, 3375, 2895}));
    EXPECT_EQ(w.markCaptions[0].background, (Rgb{255, 255, 128}));
    EXPECT_EQ(w.markCaptions[1].background, (Rgb{255, 0, 255}));
    EXPECT_EQ(w.repeatInfoHeading.foreground, (Rgb{255, 0, 0}));
    EXPECT_EQ(w.passesLeftLabel.foreground, (Rgb{255, 0, 0}));
}

}  // namespace
}  // namespace ostrelle
