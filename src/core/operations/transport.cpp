#include "core/operations/transport.h"

#include "core/formats/time_values.h"

namespace ostrelle {

void Transport::LoadFileSegments(const QString& path, int row) {
    Window& w = window_;
    repeat_.StopRepeatRun({.captions = RunEnding::Captions::ButtonAndMenu});
    state_.currentAudioPath = path;
    editor_.ReloadSegments(path);
    // Marks are placed over this file's length, never the previous file's.
    state_.lengthText = w.playlistGrid.CellText(row, kPathColumn) == path
                            ? w.playlistGrid.CellText(row, kDurationColumn)
                            : QString();
    // An A that waited for its B belonged to the file before.
    state_.awaitingB = false;
    repeat_.Present();

    if (state_.hasAB && !state_.abList.empty()) {
        EnablePair(w.playRepeatButton, w.playRepeatItem, true);
        EnablePair(w.deleteSegmentButton, w.deleteSegmentItem, true);
        EnablePair(w.deleteAllSegmentsButton, w.deleteAllSegmentsItem, true);
        const ABPair& first = state_.abList.front();
        display_.ShowABMarks(first.aText, first.bText, state_.lengthText);
        state_.aPoint = first.aText;
        state_.bPoint = first.bText;
        state_.abIndex = 0;
        state_.segmentShown = true;
        repeat_.Present();
        w.segmentCountLabel.caption = QString::number(state_.abList.size());
        w.segmentRangeLabel.caption = RangeText(first);
        return;
    }
    for (int i = 0; i < 2; ++i)
        w.markFlags[i].visible = w.markCaptionBoxes[i].visible = false;
    // Nothing to repeat until the file has a segment of its own.
    EnablePair(w.playRepeatButton, w.playRepeatItem, false);
    state_.ForgetCurrentSegment();
    EnablePair(w.deleteSegmentButton, w.deleteSegmentItem, false);
    EnablePair(w.deleteAllSegmentsButton, w.deleteAllSegmentsItem, false);
    repeat_.Present();
    w.segmentCountLabel.caption.clear();
    w.segmentRangeLabel.caption = QStringLiteral(" -- ");
}

void Transport::ShowPosition() {
    window_.positionLabel.caption = window_.repeatTick.Running() || window_.waveform.shown
                                        ? PositionTextTenths(player_.CurrentPosition(), player_.Duration())
                                        : player_.CurrentPositionString();
}

void Transport::LoadFirstEntry(int row) {
    window_.firstEntryTimer.enabled = false;
    const QString path = window_.playlistGrid.CellText(row, kPathColumn);
    if (path.isEmpty()) return;
    state_.currentAudioPath = path;
    if (loadCompanionText_) loadCompanionText_(path);
    player_.SetUrl(path);
    LoadFileSegments(path, row);
}

}  // namespace ostrelle
