#pragma once

#include "core/model/grid_model.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

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
    bool checkable = false;  // shows a tick while checked
    bool checked = false;
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

// A coloured stretch of one line of the text pane: part of a checked dictation.
struct PaneMark {
    int line = 0;
    int from = 0;
    int length = 0;
    Rgb color;
    bool struckOut = false;
    friend bool operator==(const PaneMark&, const PaneMark&) = default;
};

struct TextPane {
    QString text;
    TwipsRect geometry;
    bool visible = true;
    int fontSizePt = 9;
    Rgb background{255, 255, 255};
    bool readOnly = false;
    int highlightLine = -1;  // the line of a timed text being spoken, kept in view; -1 for none
    std::vector<PaneMark> marks;
};

// A one-line text input.
struct LineEdit {
    bool visible = false;
    QString text;
};

// Where a mark flag's tip stands under its bar: the tip points at the mark's time.
enum class FlagTip { Middle, Right, Left };

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

// The listing and sequential-play ticks while a file starts, and the repeat engine's tick.
inline constexpr int kListingIntervalMs = 250;
inline constexpr int kRepeatTickMs = 10;

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
    // The position bar's track: a file's start at its left end, its end at its right. The marks over it,
    // the bar and the waveform strip all measure from here.
    static constexpr int kTrackLeftTwips = 3890;
    static constexpr int kTrackRightTwips = 13320;

    QString title;
    Rgb background{240, 240, 240};

    GroupBox repeatGroup;     // 复读
    GroupBox recordingGroup;  // 录音
    GroupBox playlistGroup;   // 播放列表

    // Playlist group.
    Button openFileButton;
    Button usageButton;
    Button openListButton;
    Button saveListButton;
    Button clearListButton;
    Button deleteEntryButton;
    // Recording group.
    Button recordButton;
    Button playRecordingButton;
    Button saveRecordingButton;
    // Repeat group.
    Button playRepeatButton;
    Button setAButton;
    Button setBButton;
    Button previousSegmentButton;
    Button nextSegmentButton;
    Button deleteSegmentButton;
    Button deleteAllSegmentsButton;

    CheckBox showTextBox;
    CheckBox cursorFollowsBox;
    CheckBox sequentialPlayBox;

    Label usageLabel;                   // the usage line at the bottom
    Label positionLabel;                // playing position
    std::array<Label, 2> markCaptions;  // over the A and B marks
    Label repeatCountHeading;           // 复读次数
    Label pauseHeading;                 // 间隔时间
    Label fontSizeLabel;                // 文本字体大小
    // Red headings of the repeat group.
    Label repeatInfoHeading;
    Label currentSegmentHeading;
    Label segmentCountHeading;
    Label segmentNumberLabel;  // the current segment's number, from 1
    Label segmentCountLabel;   // how many segments the file has
    Label segmentRangeLabel;   // "A -- B" of the current segment
    Label passesLeftLabel;     // "剩n次" during a repeat run
    std::array<LineDecoration, 4> repeatGroupLines;

    ComboBox repeatCountBox;
    ComboBox pauseBox;
    ComboBox fontSizeBox;

    TextPane textPane;        // companion text
    TextPane textBackdrop;    // blank backdrop behind it
    LineEdit dictationInput;  // under the text pane while dictating

    Picture playlistHeading;                  // heading strip of the playlist
    std::array<Picture, 2> markCaptionBoxes;  // boxes of the A and B mark captions
    std::array<Picture, 2> markFlags;         // A and B mark pointers
    TwipsRect playerStrip;
    // The waveform strip above the position bar: off unless the learner turns it on.
    struct WaveformStrip {
        bool shown = false;
        bool zoomed = false;
        // The current segment's shadowing take, drawn under it from A; empty when it has none. The version
        // changes whenever a take is written, so one recorded again over the same file is read again.
        QString take;
        int takeVersion = 0;
        // After a take is scored: its pitch line over the original's, in semitones over each voice's own
        // median, the take's warped onto the original's time; and the stretches where it differs most,
        // worst first, each with the take's own stretch (seconds into the take). Times are of the file.
        struct Pitch {
            double seconds = 0;
            std::optional<float> original;
            std::optional<float> take;
        };
        struct Flag {
            double from = 0;
            double to = 0;
            double takeFrom = 0;
            double takeTo = 0;
        };
        std::vector<Pitch> pitch;
        std::vector<Flag> flags;
    } waveform;
    // What a shadowing run wants of the learner, over the usage line while it runs.
    Label shadowCue;
    // A passing note over the usage line, such as files left out of a drop.
    Label statusNote;
    // How close the last shadowing take came, over the usage line once the run is over.
    Label takeScore;
    // What a review wants of the learner, over the usage line while it runs.
    Label reviewCue;
    // The automatic sentence split's progress, over the usage line while it runs.
    struct SplitProgress {
        bool shown = false;
        int percent = 0;
        QString task;     // what runs: 自动断句, 文本对齐
        QString stopKey;  // the shortcut that stops it
    } splitProgress;
    GridModel playlistGrid;
    TwipsRect playlistGridGeometry;

    ModelTimer listingTimer;         // lists the playing file
    ModelTimer recorderClockTimer;   // recording time in the recording group's caption
    ModelTimer repeatTick;           // the repeat engine's tick
    ModelTimer firstEntryTimer;      // one-shot load of the first playlist entry
    ModelTimer positionTimer;        // playing position display
    ModelTimer sequentialPlayTimer;  // plays the next entry when one ends
    ModelTimer followTextTimer;      // moves a timed text's highlight with the audio
    ModelTimer shadowTick;           // the shadowing run's phases
    ModelTimer statusNoteTimer;      // hides the status note

    // Menu bar, in order.
    MenuItem fileMenu;
    MenuItem openFileItem;
    MenuItem openListItem;
    MenuItem saveListItem;
    MenuItem deleteEntryItem;
    MenuItem clearListItem;
    MenuItem exportAnkiItem;  // a lesson's sentences, or the hard or due ones, as Anki cards
    MenuItem exitItem;
    MenuItem recordMenu;
    MenuItem recordItem;
    MenuItem playRecordingItem;
    MenuItem saveRecordingItem;
    MenuItem repeatMenu;
    MenuItem playRepeatItem;
    MenuItem setAItem;
    MenuItem setBItem;
    MenuItem previousSegmentItem;
    MenuItem nextSegmentItem;
    MenuItem deleteSegmentItem;
    MenuItem deleteAllSegmentsItem;
    // Moving the current segment's A or B by 10 ms or 100 ms.
    MenuItem nudgeAEarlierItem;
    MenuItem nudgeALaterItem;
    MenuItem nudgeAMuchEarlierItem;
    MenuItem nudgeAMuchLaterItem;
    MenuItem nudgeBEarlierItem;
    MenuItem nudgeBLaterItem;
    MenuItem nudgeBMuchEarlierItem;
    MenuItem nudgeBMuchLaterItem;
    MenuItem waveformItem;          // shows or hides the waveform strip
    MenuItem waveformZoomItem;      // the strip shows the whole file, or the current segment closely
    MenuItem progressiveSpeedItem;  // each pass of a run faster than the one before, the last at 1.0×
    // Shadowing: the current segment, then the learner's take of it, pass after pass.
    MenuItem shadowingItem;
    MenuItem replayShadowingItem;  // the segment once more, then the take kept
    MenuItem playTakeItem;
    MenuItem saveTakeItem;
    MenuItem dictationItem;            // the spoken line hidden, typed, then checked
    MenuItem dictationMaskAllItem;     // every line hidden while dictating
    MenuItem autoSplitItem;            // the current file's sentences from here on become segments
    MenuItem alignTextItem;            // the companion text's sentences placed in the audio
    MenuItem exportLrcItem;            // the timed text written as an .lrc beside the audio
    MenuItem timedTextToSegmentsItem;  // a timed text's lines from the current one on become segments
    MenuItem rawTimedTextItem;         // a timed text is shown as its file is, tags and all
    MenuItem hardMenu;                 // 难句本
    MenuItem hardItem;                 // ticked while the current segment is in the book
    MenuItem reviewItem;               // with how many are due today
    MenuItem revealReviewItem;
    MenuItem gradeAgainItem;
    MenuItem gradeHardItem;
    MenuItem gradeGoodItem;
    MenuItem gradeEasyItem;
    MenuItem practiceRecordItem;
    MenuItem playerMenu;
    MenuItem playItem;
    MenuItem pauseItem;
    MenuItem stopItem;
    MenuItem resumeAtSentenceStartItem;  // ticked: play after a pause in a run starts the sentence again
    // The playback speed, pitch kept: a submenu of presets, and steps of 0.05.
    MenuItem speedMenu;
    MenuItem speed50Item;
    MenuItem speed60Item;
    MenuItem speed70Item;
    MenuItem speed80Item;
    MenuItem speed90Item;
    MenuItem speed100Item;
    MenuItem speed120Item;
    MenuItem speed150Item;
    MenuItem speed200Item;
    MenuItem slowerItem;
    MenuItem fasterItem;
    MenuItem normalSpeedItem;
    MenuItem usageMenu;
    MenuItem usageItem;
};

// A button and its menu item run the same command, so they are enabled and disabled together.
inline void EnablePair(Button& button, MenuItem& item, bool enabled) {
    button.enabled = enabled;
    item.enabled = enabled;
}

}  // namespace ostrelle
