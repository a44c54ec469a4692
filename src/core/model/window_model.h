#pragma once

#include "core/model/grid_model.h"

#include <QString>
#include <QStringList>

#include <array>

namespace ostrelle {

// A position and size in twips (1440 per inch, 15 per pixel at 96 dpi), relative to the container.
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Button {
    QString caption;
    TwipsRect geometry;
    bool enabled = true;
    QString toolTip;
};

struct MenuItem {
    QString caption;
    QString shortcut;  // in QKeySequence's portable form, e.g. "Ctrl+M", "F8"; empty for none
    bool enabled = true;
    bool visible = true;
};

struct Label {
    QString caption;
    TwipsRect geometry;
    bool visible = true;
    Rgb foreground;
    Rgb background{240, 240, 240};
};

struct CheckBox {
    QString caption;
    TwipsRect geometry;
    int value = 0;  // 1 = ticked
    bool enabled = true;
};

struct GroupBox {
    QString caption;
    TwipsRect geometry;
};

struct ComboBox {
    QStringList items;
    QString text;
    TwipsRect geometry;
    bool visible = true;
};

struct TextPane {
    QString text;
    TwipsRect geometry;
    bool visible = true;
    int fontSizePt = 9;
    Rgb background{255, 255, 255};
    bool readOnly = false;
};

// A picture box or image: the A and B marks, the grid heading strip.
struct Picture {
    TwipsRect geometry;
    bool visible = true;
};

// A timer of the window: it ticks every intervalMs while enabled, and never with an interval of 0.
struct ModelTimer {
    bool enabled = false;
    int intervalMs = 0;
    bool Running() const { return enabled && intervalMs > 0; }
};

struct LineDecoration {
    int x1 = 0;
    int x2 = 0;
    int y = 0;
};

// Every control of the main window with the state the program keeps in it. The controller reads and writes
// these fields as the program's operations read and write controls; the view renders them.
struct Window {
    Window();

    static constexpr int kClientWidthTwips = 14475;
    static constexpr int kClientHeightTwips = 9360;

    QString title;
    Rgb background{240, 240, 240};

    GroupBox aeroGroupBox1;  // 复读
    GroupBox aeroGroupBox2;  // 录音
    GroupBox aeroGroupBox3;  // 播放列表

    std::array<Button, 11> aeroButton1;  // the command table, indices 0 to 10
    std::array<Button, 2> aeroButton2;   // 0 open a file, 1 usage
    Button aeroButton3;                  // save the recording
    std::array<Button, 2> aeroButton4;   // delete the current segment, delete all segments

    std::array<CheckBox, 3> aeroCheckBox1;  // 0 text shown, 1 cursor follows, 2 sequential play

    std::array<Label, 1> label1;          // usage line
    Label label2;                         // playing position
    std::array<Label, 2> label3;          // A and B mark captions
    std::array<Label, 2> label4;          // 复读次数, 间隔时间
    Label label5;                         // 文本字体大小
    std::array<Label, 3> label6;          // red headings of the repeat group
    std::array<Label, 3> label7;          // current segment number, segment count, A and B texts
    Label label8;                         // passes left
    std::array<LineDecoration, 4> lines;  // Line1 … Line4, in the repeat group

    std::array<ComboBox, 3> combo1;  // repeat count, pause, text font size

    TextPane aeroTextBox1;  // companion text
    TextPane aeroTextBox2;  // blank backdrop

    Picture picture1;                 // heading strip of the playlist
    std::array<Picture, 2> picture2;  // A and B mark captions' boxes
    std::array<Picture, 2> image1;    // A and B mark pointers
    TwipsRect wmPlayer1;              // the player strip
    GridModel grid1;
    TwipsRect grid1Geometry;

    ModelTimer timer1;  // lists the playing file
    ModelTimer timer2;  // recorder time display
    ModelTimer timer3;  // repeat engine tick
    ModelTimer timer4;  // one-shot load of the first playlist entry
    ModelTimer timer5;  // playing position display
    ModelTimer timer6;  // sequential play

    // Menu bar, in order.
    MenuItem idmFile;
    MenuItem idmOpenMp3;
    MenuItem idmOpenMp3List;
    MenuItem idmListSave;
    MenuItem idmDeleteList;
    MenuItem idmClearList;
    MenuItem idmClose;
    MenuItem imdRecord;
    MenuItem idmRecordStart;
    MenuItem idmPlayRecord;
    MenuItem idmRecordSave;
    MenuItem idmRead;
    MenuItem idmPlayReread;
    MenuItem idmAPoint;
    MenuItem idmBPoint;
    MenuItem idmPre;
    MenuItem idmNext;
    MenuItem idmDeleteCurrentAB;
    MenuItem idmDeleteAB;
    MenuItem idmPlayer;
    MenuItem idmPlay;
    MenuItem idmPause;
    MenuItem idmStop;
    MenuItem idmUseManue;
    MenuItem idmUser;
};

// A button and its menu item run the same command, so they are enabled and disabled together.
inline void EnablePair(Button& button, MenuItem& item, bool enabled) {
    button.enabled = enabled;
    item.enabled = enabled;
}

}  // namespace ostrelle
