#include "core/operations/transport.h"

namespace ostrelle {

void Transport::LoadFileSegments(const QString& path, int row) {
    Window& w = window_;
    repeat_.StopRepeatRun({.captions = RunEnding::Captions::ButtonAndMenu});
    state_.currentAudioPath = path;
    editor_.ReloadSegments(path);

    if (state_.hasAB && !state_.abList.empty()) {
        EnablePair(w.playRepeatButton, w.playRepeatItem, true);
        EnablePair(w.nextSegmentButton, w.nextSegmentItem, false);
        EnablePair(w.previousSegmentButton, w.previousSegmentItem, false);
        EnablePair(w.deleteSegmentButton, w.deleteSegmentItem, true);
        EnablePair(w.deleteAllSegmentsButton, w.deleteAllSegmentsItem, true);
        const QString length = w.playlistGrid.CellText(row, kDurationColumn);
        const ABPair& first = state_.abList.front();
        display_.ShowABMarks(first.aText, first.bText, length);
        state_.lengthText = length;
        state_.aPoint = first.aText;
        state_.bPoint = first.bText;
        state_.abIndex = 0;
        if (state_.abList.size() > 1) EnablePair(w.nextSegmentButton, w.nextSegmentItem, true);
        w.segmentNumberLabel.caption = QStringLiteral("1");
        w.segmentCountLabel.caption = QString::number(state_.abList.size());
        w.segmentRangeLabel.caption = first.aText + QStringLiteral(" -- ") + first.bText;
        return;
    }
    for (int i = 0; i < 2; ++i)
        w.markFlags[i].visible = w.markCaptionBoxes[i].visible = false;
    EnablePair(w.deleteSegmentButton, w.deleteSegmentItem, false);
    EnablePair(w.deleteAllSegmentsButton, w.deleteAllSegmentsItem, false);
    EnablePair(w.previousSegmentButton, w.previousSegmentItem, false);
    EnablePair(w.nextSegmentButton, w.nextSegmentItem, false);
    w.segmentNumberLabel.caption.clear();
    w.segmentCountLabel.caption.clear();
    w.segmentRangeLabel.caption = QStringLiteral(" -- ");
}

void Transport::LoadFirstEntry() {
    window_.firstEntryTimer.enabled = false;
    const QString path = window_.playlistGrid.CellText(1, kPathColumn);
    if (path.isEmpty()) return;
    state_.currentAudioPath = path;
    if (loadCompanionText_) loadCompanionText_(path);
    player_.SetUrl(path);
    LoadFileSegments(path, 1);
}

}  // namespace ostrelle
