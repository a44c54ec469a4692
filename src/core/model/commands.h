#pragma once

#include "core/model/window_model.h"

#include <optional>
#include <utility>
#include <vector>

namespace ostrelle {

// Every command the learner can give, from a button, a menu item or a shortcut.
enum class Command {
    // Playlist group and 文件 menu.
    OpenFile,
    OpenList,
    SaveList,
    DeleteEntry,
    ClearList,
    Exit,
    // Recording group and 录音 menu.
    Record,  // starts recording, or stops it
    PlayRecording,
    SaveRecording,
    // Repeat group and 复读 menu.
    PlayRepeat,  // starts a repeat run, or stops it
    SetA,
    SetB,
    PreviousSegment,
    NextSegment,
    DeleteSegment,
    DeleteAllSegments,
    NudgeAEarlier,  // by 10 ms; the "Much" ones by 100 ms
    NudgeALater,
    NudgeAMuchEarlier,
    NudgeAMuchLater,
    NudgeBEarlier,
    NudgeBLater,
    NudgeBMuchEarlier,
    NudgeBMuchLater,
    ToggleWaveform,
    ToggleWaveformZoom,
    ToggleProgressiveSpeed,
    Shadowing,  // starts a shadowing run, or stops it
    ReplayShadowing,
    PlayTake,
    SaveTake,
    Dictation,  // switches dictation on or off
    DictationMaskAll,
    AutoSplit,
    AlignText,  // the companion text's sentences placed in the audio: a timed text; or stops it
    ExportLrc,  // the timed text written as an .lrc beside the audio
    TimedTextToSegments,
    ToggleRawTimedText,
    // Its 难句本 submenu.
    ToggleHard,    // the current segment goes into the book of hard sentences, or out of it
    Review,        // plays the hard sentences due today, one by one; or stops
    RevealReview,  // the reviewed sentence's words
    GradeAgain,
    GradeHard,
    GradeGood,
    GradeEasy,
    PracticeRecord,         // the practice diary's window
    ExportAnki,             // a lesson's sentences as Anki cards
    ResumeAtSentenceStart,  // after a pause in a run, play starts the sentence again
    // 播放器 menu: the player alone.
    Play,
    Pause,
    Stop,
    // Its 语速 submenu: the presets, then steps of 0.05 and back to the media's own speed.
    Speed50,
    Speed60,
    Speed70,
    Speed80,
    Speed90,
    Speed100,
    Speed120,
    Speed150,
    Speed200,
    Slower,
    Faster,
    NormalSpeed,
    // 操作方法.
    ShowUsage,
};

// The speed a preset command sets, or nothing for any other command.
std::optional<double> PresetSpeed(Command command);

using MenuEntries = std::vector<std::pair<Command, MenuItem Window::*>>;

// A menu of the bar, or a submenu at the end of one.
struct MenuSubsection {
    MenuItem Window::*top;
    MenuEntries entries;
};

// The menu bar in order: each top-level item with its entries, then its submenus.
struct MenuSection {
    MenuItem Window::*top;
    MenuEntries entries;
    std::vector<MenuSubsection> submenus = {};
};
const std::vector<MenuSection>& MenuBar();

// Every entry of the menu bar, submenus included, in menu order.
const MenuEntries& AllMenuEntries();

// The window's buttons and the command each gives.
const std::vector<std::pair<Command, Button Window::*>>& CommandButtons();

}  // namespace ostrelle
