#include "core/model/window_model.h"

namespace ostrelle {
namespace {

constexpr Rgb kRed{255, 0, 0};

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
    return {QString::fromUtf8(caption), QString::fromLatin1(shortcut), true, true};
}

ComboBox MakeCombo(TwipsRect geometry) {
    return {{}, QStringLiteral("Combo1"), geometry};
}

}  // namespace

Window::Window() {
    aeroGroupBox3 = {QString::fromUtf8("播放列表"), {120, 0, 3375, 4815}};
    aeroButton2[1] = MakeButton("操作方法", {120, 240, 1335, 375});
    aeroButton2[0] = MakeButton("打开MP3", {1680, 240, 1335, 375});
    picture1 = {{120, 720, 3135, 255}, true};
    grid1Geometry = {120, 960, 3135, 2490};
    aeroButton1[10] = MakeButton("列表另存为", {120, 3840, 1335, 375});
    aeroButton1[9] = MakeButton("打开列表", {1560, 3840, 1455, 375});
    aeroButton1[5] = MakeButton("清空列表", {120, 4320, 1335, 375});
    aeroButton1[6] = MakeButton("删除列表", {1560, 4320, 1455, 375});
    aeroCheckBox1[2] = {QString::fromUtf8("顺序播放    "), {360, 3480, 1575, 255}, 0, true};
    aeroCheckBox1[0] = {QString::fromUtf8("文本显示    "), {2040, 3480, 1095, 255}, 0, true};
    aeroCheckBox1[1] = {QString::fromUtf8("光标跟随     "), {14880, 3240, 1215, 255}, 0, true};

    aeroGroupBox2 = {QString::fromUtf8("录音"), {120, 4800, 3375, 1215}};
    aeroButton1[0] = MakeButton("开始录音", {120, 240, 1335, 375});
    aeroButton1[1] = MakeButton("播放录音", {1560, 240, 1455, 375});
    aeroButton3 = MakeButton("录音另存为", {120, 720, 1335, 375});

    aeroGroupBox1 = {QString::fromUtf8("复读(可记忆复读位置)"), {120, 6120, 3375, 2895}};
    aeroButton1[2] = MakeButton("播放", {240, 360, 1575, 375});
    aeroButton1[3] = MakeButton("A段点", {240, 840, 735, 375});
    aeroButton1[4] = MakeButton("B段点", {1080, 840, 735, 375});
    aeroButton1[8] = MakeButton("|<<", {240, 1320, 735, 375});
    aeroButton1[7] = MakeButton(">>|", {1080, 1320, 735, 375});
    aeroButton4[0] = MakeButton("删除当前AB", {240, 1800, 1575, 375});
    aeroButton4[1] = MakeButton("删除全部AB", {240, 2280, 1575, 375});
    label6[0] = MakeLabel("复读信息", {2160, 240, 855, 255}, kRed);
    label6[1] = MakeLabel("当前AB:", {2040, 620, 645, 210}, kRed);
    label7[0] = MakeLabel("", {2760, 620, 60, 210});
    label6[2] = MakeLabel("全部AB:", {2040, 860, 645, 210}, kRed);
    label7[1] = MakeLabel("", {2760, 860, 60, 210});
    label7[2] = MakeLabel("--", {1920, 1120, 1215, 255});
    label4[0] = MakeLabel("复读次数", {1920, 1440, 855, 255});
    combo1[0] = MakeCombo({1920, 1680, 735, 315});
    label8 = MakeLabel("", {2640, 1740, 615, 255}, kRed);
    label4[1] = MakeLabel("间隔时间", {1920, 2040, 735, 255});
    combo1[1] = MakeCombo({1920, 2280, 735, 315});
    lines = {{{1920, 3120, 480}, {1920, 3120, 840}, {1920, 3120, 1080}, {1920, 3120, 1320}}};

    aeroTextBox1.geometry = {6960, 720, 5775, 4935};
    aeroTextBox2.geometry = {5520, 480, 6735, 4695};
    label5 = MakeLabel("文本字体大小", {8040, 0, 1215, 255});
    combo1[2] = MakeCombo({10080, 0, 735, 315});

    picture2[0] = {{3600, 6960, 585, 195}, true};
    picture2[1] = {{4200, 6960, 585, 195}, true};
    label3[0] = MakeLabel("A00:00", {240, 0, 615, 255});
    label3[0].background = {255, 255, 128};
    label3[1] = MakeLabel("B00:00", {360, 0, 615, 255});
    label3[1].background = {255, 0, 255};
    image1[0] = {{3890, 7920, 585, 360}, true};
    image1[1] = {{4920, 7920, 585, 360}, true};
    wmPlayer1 = {3600, 8160, 10455, 735};
    label2 = MakeLabel("", {7080, 8520, 735, 255});
    label1[0] = MakeLabel(
        "操作方法:将和MP3相同名字的txt,word,rtf文档放在和MP3文件相同目录下,打开MP3即可显示文本("
        "同时支持wma格式),"
        "快捷键参考菜单.",
        {240, 9000, 13695, 375});

    timer1 = {false, 100};
    timer2 = {false, 100};
    timer3 = {true, 0};
    timer4 = {false, 20};
    timer5 = {true, 500};
    timer6 = {false, 200};

    idmFile = MakeMenu(" 文件");
    idmOpenMp3 = MakeMenu("打开MP3文件", "Ctrl+M");
    idmOpenMp3List = MakeMenu("打开MP3列表", "Ctrl+U");
    idmListSave = MakeMenu("列表另存为", "Ctrl+S");
    idmDeleteList = MakeMenu("删除列表", "Ctrl+D");
    idmClearList = MakeMenu("清空列表", "Ctrl+A");
    idmClose = MakeMenu("退出", "Ctrl+Q");
    imdRecord = MakeMenu("录音");
    idmRecordStart = MakeMenu("录音开始", "F8");
    idmPlayRecord = MakeMenu("播放录音", "F9");
    idmRecordSave = MakeMenu("另存录音为", "Ctrl+X");
    idmRead = MakeMenu("复读");
    idmPlayReread = MakeMenu("播放(复读)", "F4");
    idmAPoint = MakeMenu("A段点", "F2");
    idmBPoint = MakeMenu("B段点", "F3");
    idmPre = MakeMenu("上一步", "F5");
    idmNext = MakeMenu("下一步", "F6");
    idmDeleteCurrentAB = MakeMenu("删除当前播放AB", "F11");
    idmDeleteAB = MakeMenu("删除当前MP3 AB", "F12");
    idmPlayer = MakeMenu("播放器");
    idmPlay = MakeMenu("播放", "Ctrl+F1");
    idmPause = MakeMenu("暂停", "Ctrl+F2");
    idmStop = MakeMenu("停止", "Ctrl+F3");
    idmUseManue = MakeMenu("操作方法");
    idmUser = MakeMenu("操作方法(图示)", "F1");
}

}  // namespace ostrelle
