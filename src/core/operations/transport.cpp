#include "core/operations/transport.h"

#include "core/formats/settings_file.h"
#include "core/formats/time_values.h"

namespace ostrelle {

void Transport::LoadFileSegments(const QString& path, int row) {
    const GridModel& grid = window_.playlistGrid;
    repeat_.StopRepeatRun({.captions = RunEnding::Captions::ButtonAndMenu});
    state_.currentAudioPath = path;
    editor_.ReloadSegments(path);
    // Marks are placed over this file's length, never the previous file's.
    state_.listedLengthMs = grid.CellText(row, kPathColumn) == path
                                ? TimeTextToSeconds(grid.CellText(row, kDurationColumn)) * 1000LL
                                : 0;
    // An A that waited for its B belonged to the file before.
    state_.ForgetCurrentSegment();
    // Nothing to repeat until the file has a segment of its own.
    if (state_.hasAB && !state_.abList.empty()) state_.abIndex = 0;
}

void Transport::Play() {
    if (state_.run == PlayerState::RunPhase::Off) player_.SetStopPoint(std::nullopt);
    const ABPair* segment = state_.RepeatedSegment();
    if (pausedInPass_ && state_.run == PlayerState::RunPhase::Passing && segment &&
        window_.resumeAtSentenceStartItem.checked)
        player_.SetCurrentPosition(segment->a.Seconds());
    pausedInPass_ = false;
    player_.Play();
}

void Transport::ToggleResumeAtSentenceStart() {
    MenuItem& item = window_.resumeAtSentenceStartItem;
    item.checked = !item.checked;
    if (writeSetting_)
        writeSetting_(QString::fromLatin1(kDrillSection), QString::fromLatin1(kResumeKey),
                      item.checked ? QStringLiteral("1") : QStringLiteral("0"));
}

void Transport::Restore(const QString& settingsFile) {
    window_.resumeAtSentenceStartItem.checked =
        ReadIniValue(QString::fromLatin1(kDrillSection), QString::fromLatin1(kResumeKey), settingsFile)
            .trimmed() != u"0";
}

void Transport::ShowPosition() {
    // One form per file: the length the list knows, exact and there from the start, decides whether hours
    // show; the player's own figure only for a file the list has no length for yet.
    const double length = state_.listedLengthMs > 0 && state_.currentAudioPath == player_.Url()
                              ? static_cast<double>(state_.listedLengthMs) / 1000
                              : player_.Duration();
    window_.positionLabel.caption = state_.run != PlayerState::RunPhase::Off || window_.waveform.shown
                                        ? PositionTextTenths(player_.CurrentPosition(), length)
                                        : PositionText(player_.CurrentPosition(), length);
}

void Transport::LoadFirstEntry(int row) {
    window_.firstEntryTimer.enabled = false;
    const QString path = window_.playlistGrid.CellText(row, kPathColumn);
    if (path.isEmpty()) return;
    state_.markingOff = false;
    state_.currentAudioPath = path;
    if (loadCompanionText_) loadCompanionText_(path);
    player_.SetUrl(path);
    LoadFileSegments(path, row);
}

}  // namespace ostrelle
