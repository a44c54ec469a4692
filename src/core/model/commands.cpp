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
          {Command::ExportAnki, &Window::exportAnkiItem},
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
          {Command::ToggleWaveformZoom, &Window::waveformZoomItem},
          {Command::ToggleProgressiveSpeed, &Window::progressiveSpeedItem},
          {Command::Shadowing, &Window::shadowingItem},
          {Command::ReplayShadowing, &Window::replayShadowingItem},
          {Command::PlayTake, &Window::playTakeItem},
          {Command::SaveTake, &Window::saveTakeItem},
          {Command::Dictation, &Window::dictationItem},
          {Command::DictationMaskAll, &Window::dictationMaskAllItem},
          {Command::AutoSplit, &Window::autoSplitItem},
          {Command::AlignText, &Window::alignTextItem},
          {Command::ExportLrc, &Window::exportLrcItem},
          {Command::TimedTextToSegments, &Window::timedTextToSegmentsItem},
          {Command::ToggleRawTimedText, &Window::rawTimedTextItem}},
         {{&Window::hardMenu,
           {{Command::ToggleHard, &Window::hardItem},
            {Command::Review, &Window::reviewItem},
            {Command::RevealReview, &Window::revealReviewItem},
            {Command::GradeAgain, &Window::gradeAgainItem},
            {Command::GradeHard, &Window::gradeHardItem},
            {Command::GradeGood, &Window::gradeGoodItem},
            {Command::GradeEasy, &Window::gradeEasyItem},
            {Command::PracticeRecord, &Window::practiceRecordItem}}}}},
        {&Window::playerMenu,
         {{Command::Play, &Window::playItem},
          {Command::Pause, &Window::pauseItem},
          {Command::Stop, &Window::stopItem},
          {Command::ResumeAtSentenceStart, &Window::resumeAtSentenceStartItem}},
         {{&Window::speedMenu,
           {{Command::Speed50, &Window::speed50Item},
            {Command::Speed60, &Window::speed60Item},
            {Command::Speed70, &Window::speed70Item},
            {Command::Speed80, &Window::speed80Item},
            {Command::Speed90, &Window::speed90Item},
            {Command::Speed100, &Window::speed100Item},
            {Command::Speed120, &Window::speed120Item},
            {Command::Speed150, &Window::speed150Item},
            {Command::Speed200, &Window::speed200Item},
            {Command::Slower, &Window::slowerItem},
            {Command::Faster, &Window::fasterItem},
            {Command::NormalSpeed, &Window::normalSpeedItem}}}}},
        {&Window::usageMenu, {{Command::ShowUsage, &Window::usageItem}}},
    };
    return bar;
}

const MenuEntries& AllMenuEntries() {
    static const MenuEntries all = [] {
        MenuEntries entries;
        for (const MenuSection& section : MenuBar()) {
            entries.insert(entries.end(), section.entries.begin(), section.entries.end());
            for (const MenuSubsection& submenu : section.submenus)
                entries.insert(entries.end(), submenu.entries.begin(), submenu.entries.end());
        }
        return entries;
    }();
    return all;
}

std::optional<double> PresetSpeed(Command command) {
    switch (command) {
        case Command::Speed50:
            return 0.5;
        case Command::Speed60:
            return 0.6;
        case Command::Speed70:
            return 0.7;
        case Command::Speed80:
            return 0.8;
        case Command::Speed90:
            return 0.9;
        case Command::Speed100:
            return 1.0;
        case Command::Speed120:
            return 1.2;
        case Command::Speed150:
            return 1.5;
        case Command::Speed200:
            return 2.0;
        default:
            return std::nullopt;
    }
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
