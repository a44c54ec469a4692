#pragma once

#include "core/model/window_model.h"

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
    // 播放器 menu: the player alone.
    Play,
    Pause,
    Stop,
    // 操作方法.
    ShowUsage,
};

// The menu bar in order: each top-level item with its entries.
struct MenuSection {
    MenuItem Window::*top;
    std::vector<std::pair<Command, MenuItem Window::*>> entries;
};
const std::vector<MenuSection>& MenuBar();

// The window's buttons and the command each gives.
const std::vector<std::pair<Command, Button Window::*>>& CommandButtons();

}  // namespace ostrelle
