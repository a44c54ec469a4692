#include "core/model/window_model.h"

namespace ostrelle {
namespace {

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kBlue{0, 70, 160};

Button MakeButton(const char* caption, TwipsRect geometry) {
    return {QString::fromUtf8(caption), geometry, true, {}};
}

Label MakeLabel(const char* caption, TwipsRect geometry, Rgb foreground = {}) {
    Label label;
    label.caption = QString::fromUtf8(caption);
    label.geometry = geometry;
    label.foreground = foreground;
    return label;
}

MenuItem MakeMenu(const char* caption, const char* shortcut = "") {
    return {QString::fromUtf8(caption), QString::fromLatin1(shortcut), true, true, false, false};
}

MenuItem MakeCheckableMenu(const char* caption) {
    MenuItem item = MakeMenu(caption);
    item.checkable = true;
    return item;
}

ComboBox MakeCombo(TwipsRect geometry) {
    return {{}, QStringLiteral("Combo1"), geometry};
}

}  // namespace

Window::Window() {
    playlistGroup = {QString::fromUtf8("播放列表"), {120, 0, 3375, 4815}};
    usageButton = MakeButton("操作方法", {120, 240, 1335, 375});
    openFileButton = MakeButton("打开MP3", {1680, 240, 1335, 375});
    playlistHeading = {{120, 720, 3135, 255}, true};
    playlistGridGeometry = {120, 960, 3135, 2490};
    saveListButton = MakeButton("列表另存为", {120, 3840, 1335, 375});
    openListButton = MakeButton("打开列表", {1560, 3840, 1455, 375});
    clearListButton = MakeButton("清空列表", {120, 4320, 1335, 375});
    deleteEntryButton = MakeButton("删除列表", {1560, 4320, 1455, 375});
    sequentialPlayBox = {QString::fromUtf8("顺序播放    "), {360, 3480, 1575, 255}, 0, true};
    showTextBox = {QString::fromUtf8("文本显示    "), {2040, 3480, 1095, 255}, 0, true};
    cursorFollowsBox = {QString::fromUtf8("光标跟随     "), {14880, 3240, 1215, 255}, 0, true};

    recordingGroup = {QString::fromUtf8("录音"), {120, 4800, 3375, 1215}};
    recordButton = MakeButton("开始录音", {120, 240, 1335, 375});
    playRecordingButton = MakeButton("播放录音", {1560, 240, 1455, 375});
    saveRecordingButton = MakeButton("录音另存为", {120, 720, 1335, 375});

    repeatGroup = {QString::fromUtf8("复读(可记忆复读位置)"), {120, 6120, 3375, 2895}};
    playRepeatButton = MakeButton("播放", {240, 360, 1575, 375});
    setAButton = MakeButton("A段点", {240, 840, 735, 375});
    setBButton = MakeButton("B段点", {1080, 840, 735, 375});
    previousSegmentButton = MakeButton("|<<", {240, 1320, 735, 375});
    nextSegmentButton = MakeButton(">>|", {1080, 1320, 735, 375});
    deleteSegmentButton = MakeButton("删除当前AB", {240, 1800, 1575, 375});
    deleteAllSegmentsButton = MakeButton("删除全部AB", {240, 2280, 1575, 375});
    repeatInfoHeading = MakeLabel("复读信息", {2160, 240, 855, 255}, kRed);
    currentSegmentHeading = MakeLabel("当前AB:", {2040, 620, 645, 210}, kRed);
    segmentNumberLabel = MakeLabel("", {2760, 620, 60, 210});
    segmentCountHeading = MakeLabel("全部AB:", {2040, 860, 645, 210}, kRed);
    segmentCountLabel = MakeLabel("", {2760, 860, 60, 210});
    segmentRangeLabel = MakeLabel("--", {1920, 1120, 1215, 255});
    repeatCountHeading = MakeLabel("复读次数", {1920, 1440, 855, 255});
    repeatCountBox = MakeCombo({1920, 1680, 735, 315});
    passesLeftLabel = MakeLabel("", {2640, 1740, 615, 255}, kRed);
    pauseHeading = MakeLabel("间隔时间", {1920, 2040, 735, 255});
    pauseBox = MakeCombo({1920, 2280, 735, 315});
    repeatGroupLines = {{{1920, 3120, 480}, {1920, 3120, 840}, {1920, 3120, 1080}, {1920, 3120, 1320}}};

    textPane.geometry = {6960, 720, 5775, 4935};
    textBackdrop.geometry = {5520, 480, 6735, 4695};
    fontSizeLabel = MakeLabel("文本字体大小", {8040, 0, 1215, 255});
    fontSizeBox = MakeCombo({10080, 0, 735, 315});

    markCaptionBoxes[0] = {{3600, 6960, 585, 195}, true};
    markCaptionBoxes[1] = {{4200, 6960, 585, 195}, true};
    markCaptions[0] = MakeLabel("A00:00", {240, 0, 615, 255});
    markCaptions[0].background = {255, 255, 128};
    markCaptions[1] = MakeLabel("B00:00", {360, 0, 615, 255});
    markCaptions[1].background = {255, 0, 255};
    markFlags[0] = {{kTrackLeftTwips, 7920, 585, 360}, true};
    markFlags[1] = {{4920, 7920, 585, 360}, true};
    playerStrip = {3600, 8160, 10455, 735};
    positionLabel = MakeLabel("", {7080, 8520, 735, 255});
    usageLabel = MakeLabel(
        "操作方法:将和MP3相同名字的txt,word,rtf文档放在和MP3文件相同目录下,打开MP3即可显示文本("
        "同时支持wma格式),"
        "快捷键参考菜单.",
        {240, 9000, 13695, 375});

    listingTimer = {false, 100};
    recorderClockTimer = {false, 100};
    repeatTick = {true, 0};
    firstEntryTimer = {false, 20};
    positionTimer = {true, 500};
    sequentialPlayTimer = {false, 200};
    followTextTimer = {false, 100};
    shadowTick = {false, kRepeatTickMs};

    fileMenu = MakeMenu(" 文件");
    openFileItem = MakeMenu("打开MP3文件", "Ctrl+M");
    openListItem = MakeMenu("打开MP3列表", "Ctrl+U");
    saveListItem = MakeMenu("列表另存为", "Ctrl+S");
    deleteEntryItem = MakeMenu("删除列表", "Ctrl+D");
    clearListItem = MakeMenu("清空列表", "Ctrl+A");
    exportAnkiItem = MakeMenu("导出到Anki…", "Ctrl+Shift+E");
    exitItem = MakeMenu("退出", "Ctrl+Q");
    recordMenu = MakeMenu("录音");
    recordItem = MakeMenu("录音开始", "F8");
    playRecordingItem = MakeMenu("播放录音", "F9");
    saveRecordingItem = MakeMenu("另存录音为", "Ctrl+X");
    repeatMenu = MakeMenu("复读");
    playRepeatItem = MakeMenu("播放(复读)", "F4");
    setAItem = MakeMenu("A段点", "F2");
    setBItem = MakeMenu("B段点", "F3");
    previousSegmentItem = MakeMenu("上一步", "F5");
    nextSegmentItem = MakeMenu("下一步", "F6");
    deleteSegmentItem = MakeMenu("删除当前播放AB", "F11");
    deleteAllSegmentsItem = MakeMenu("删除当前MP3 AB", "F12");
    nudgeAEarlierItem = MakeMenu("A点提前10毫秒", "Ctrl+Left");
    nudgeALaterItem = MakeMenu("A点推后10毫秒", "Ctrl+Right");
    nudgeAMuchEarlierItem = MakeMenu("A点提前100毫秒", "Ctrl+Shift+Left");
    nudgeAMuchLaterItem = MakeMenu("A点推后100毫秒", "Ctrl+Shift+Right");
    nudgeBEarlierItem = MakeMenu("B点提前10毫秒", "Alt+Left");
    nudgeBLaterItem = MakeMenu("B点推后10毫秒", "Alt+Right");
    nudgeBMuchEarlierItem = MakeMenu("B点提前100毫秒", "Alt+Shift+Left");
    nudgeBMuchLaterItem = MakeMenu("B点推后100毫秒", "Alt+Shift+Right");
    waveformItem = MakeMenu("显示波形", "Ctrl+W");
    waveformZoomItem = MakeMenu("波形：当前段/全部", "Ctrl+E");
    waveformZoomItem.enabled = false;
    progressiveSpeedItem = MakeCheckableMenu("渐进语速");
    shadowingItem = MakeMenu("跟读", "Ctrl+R");
    replayShadowingItem = MakeMenu("重听原音和跟读", "Ctrl+Shift+R");
    playTakeItem = MakeMenu("播放我的跟读", "Ctrl+B");
    saveTakeItem = MakeMenu("跟读另存为", "Ctrl+Shift+B");
    for (MenuItem* item : {&shadowingItem, &replayShadowingItem, &playTakeItem, &saveTakeItem})
        item->enabled = false;
    shadowCue = MakeLabel("", {240, 9000, 13695, 375}, kRed);
    shadowCue.visible = false;
    shadowCue.background = {255, 250, 220};
    statusNote = MakeLabel("", {240, 9000, 13695, 375}, kBlue);
    statusNote.visible = false;
    statusNote.background = {235, 244, 255};
    takeScore = MakeLabel("", {240, 9000, 13695, 375}, {0, 96, 0});
    takeScore.visible = false;
    takeScore.background = {236, 248, 236};
    dictationItem = MakeCheckableMenu("听写");
    dictationItem.shortcut = QStringLiteral("Ctrl+K");
    dictationMaskAllItem = MakeCheckableMenu("听写时遮住全部歌词");
    dictationMaskAllItem.shortcut = QStringLiteral("Ctrl+Shift+K");
    autoSplitItem = MakeMenu("自动断句", "Ctrl+J");
    alignTextItem = MakeMenu("文本对齐", "Ctrl+G");
    exportLrcItem = MakeMenu("导出LRC", "Ctrl+Shift+L");
    timedTextToSegmentsItem = MakeMenu("歌词转为复读段", "Ctrl+L");
    timedTextToSegmentsItem.enabled = false;
    rawTimedTextItem = MakeCheckableMenu("显示歌词原文");
    rawTimedTextItem.shortcut = QStringLiteral("Ctrl+T");
    hardMenu = MakeMenu("难句本");
    hardItem = MakeCheckableMenu("标为难句");
    hardItem.shortcut = QStringLiteral("Ctrl+H");
    reviewItem = MakeMenu("复习难句", "F7");
    revealReviewItem = MakeMenu("显示句子", "Space");
    gradeAgainItem = MakeMenu("重来", "1");
    gradeHardItem = MakeMenu("困难", "2");
    gradeGoodItem = MakeMenu("良好", "3");
    gradeEasyItem = MakeMenu("简单", "4");
    practiceRecordItem = MakeMenu("学习记录", "Ctrl+I");
    reviewCue = MakeLabel("", {240, 9000, 13695, 375}, {128, 0, 128});
    reviewCue.visible = false;
    reviewCue.background = {248, 240, 255};
    playerMenu = MakeMenu("播放器");
    playItem = MakeMenu("播放", "Ctrl+F1");
    pauseItem = MakeMenu("暂停", "Ctrl+F2");
    stopItem = MakeMenu("停止", "Ctrl+F3");
    resumeAtSentenceStartItem = MakeCheckableMenu("暂停后从句首播放");
    resumeAtSentenceStartItem.shortcut = QStringLiteral("Ctrl+Shift+P");
    resumeAtSentenceStartItem.checked = true;
    speedMenu = MakeMenu("语速");
    speed50Item = MakeCheckableMenu("0.5×");
    speed60Item = MakeCheckableMenu("0.6×");
    speed70Item = MakeCheckableMenu("0.7×");
    speed80Item = MakeCheckableMenu("0.8×");
    speed90Item = MakeCheckableMenu("0.9×");
    speed100Item = MakeCheckableMenu("1.0×");
    speed100Item.checked = true;
    speed120Item = MakeCheckableMenu("1.2×");
    speed150Item = MakeCheckableMenu("1.5×");
    speed200Item = MakeCheckableMenu("2.0×");
    slowerItem = MakeMenu("减慢0.05", "Ctrl+Down");
    fasterItem = MakeMenu("加快0.05", "Ctrl+Up");
    normalSpeedItem = MakeMenu("恢复原速", "Ctrl+0");
    usageMenu = MakeMenu("操作方法");
    usageItem = MakeMenu("操作方法(图示)", "F1");
}

}  // namespace ostrelle
