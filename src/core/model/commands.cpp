#include "core/model/commands.h"

namespace ostrelle {

const std::vector<MenuSection>& MenuBar() {
    static const std::vector<MenuSection> bar = {
        {&Window::fileMenu,
         {{Command::OpenFile, &Window::openFileItem},
          {Command::OpenList, &Window::openListItem},
          {Command::SaveList, &Window::saveListItem},
          {Command::DeleteEntry, &Window::deleteEntryItem},
          {Command::ClearList, &Window::clearListItem},
          {Command::Exit, &Window::exitItem}}},
        {&Window::recordMenu,
         {{Command::Record, &Window::recordItem},
          {Command::PlayRecording, &Window::playRecordingItem},
          {Command::SaveRecording, &Window::saveRecordingItem}}},
        {&Window::repeatMenu,
         {{Command::PlayRepeat, &Window::playRepeatItem},
          {Command::SetA, &Window::setAItem},
          {Command::SetB, &Window::setBItem},
          {Command::PreviousSegment, &Window::previousSegmentItem},
          {Command::NextSegment, &Window::nextSegmentItem},
          {Command::DeleteSegment, &Window::deleteSegmentItem},
          {Command::DeleteAllSegments, &Window::deleteAllSegmentsItem},
          {Command::NudgeAEarlier, &Window::nudgeAEarlierItem},
          {Command::NudgeALater, &Window::nudgeALaterItem},
          {Command::NudgeAMuchEarlier, &Window::nudgeAMuchEarlierItem},
          {Command::NudgeAMuchLater, &Window::nudgeAMuchLaterItem},
          {Command::NudgeBEarlier, &Window::nudgeBEarlierItem},
          {Command::NudgeBLater, &Window::nudgeBLaterItem},
          {Command::NudgeBMuchEarlier, &Window::nudgeBMuchEarlierItem},
          {Command::NudgeBMuchLater, &Window::nudgeBMuchLaterItem},
          {Command::ToggleWaveform, &Window::waveformItem},
          {Command::ToggleWaveformZoom, &Window::waveformZoomItem}}},
        {&Window::playerMenu,
         {{Command::Play, &Window::playItem},
          {Command::Pause, &Window::pauseItem},
          {Command::Stop, &Window::stopItem}}},
        {&Window::usageMenu, {{Command::ShowUsage, &Window::usageItem}}},
    };
    return bar;
}

const std::vector<std::pair<Command, Button Window::*>>& CommandButtons() {
    static const std::vector<std::pair<Command, Button Window::*>> buttons = {
        {Command::OpenFile, &Window::openFileButton},
        {Command::ShowUsage, &Window::usageButton},
        {Command::OpenList, &Window::openListButton},
        {Command::SaveList, &Window::saveListButton},
        {Command::ClearList, &Window::clearListButton},
        {Command::DeleteEntry, &Window::deleteEntryButton},
        {Command::Record, &Window::recordButton},
        {Command::PlayRecording, &Window::playRecordingButton},
        {Command::SaveRecording, &Window::saveRecordingButton},
        {Command::PlayRepeat, &Window::playRepeatButton},
        {Command::SetA, &Window::setAButton},
        {Command::SetB, &Window::setBButton},
        {Command::PreviousSegment, &Window::previousSegmentButton},
        {Command::NextSegment, &Window::nextSegmentButton},
        {Command::DeleteSegment, &Window::deleteSegmentButton},
        {Command::DeleteAllSegments, &Window::deleteAllSegmentsButton},
    };
    return buttons;
}

}  // namespace ostrelle
