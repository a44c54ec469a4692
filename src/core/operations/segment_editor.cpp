#include "core/operations/segment_editor.h"

#include "core/formats/time_values.h"

#include <algorithm>
#include <cmath>

namespace ostrelle {
namespace {

constexpr int kTrackStartTwips = Window::kTrackLeftTwips;
const QString kNoTime = QStringLiteral("00:00");

}  // namespace

std::optional<int> SegmentEditor::PlayerMarkLeft() const {
    const double p = player_.CurrentPosition();
    const double d = player_.Duration();
    if (p == 0 || d == 0) return std::nullopt;
    return MarkLeftTwips(p, d);
}

bool SegmentEditor::Failed(const Result<void>& stored) {
    if (stored.ok()) return false;
    if (stored.failure().code != FailureCode::DatabaseUnavailable)
        dialogs_.ShowMessage(FailureMessage(QString::fromUtf8("段点没有保存。"), stored.failure()),
                             MessageTitle(), MessageKind::Error);
    return true;
}

void SegmentEditor::ReloadSegments(const QString& path) {
    Result<LoadedSegments> loaded = store_.LoadABList(path);
    state_.abList = loaded.ok() ? std::move(loaded.value().list) : ABList();
    state_.hasAB = loaded.ok() && loaded.value().hasAB;
    state_.abListPath = path;
}

void SegmentEditor::SetAPoint() {
    Window& w = window_;
    EnablePair(w.setAButton, w.setAItem, false);
    state_.awaitingB = true;
    repeat_.Present();
    EnablePair(w.deleteSegmentButton, w.deleteSegmentItem, false);
    EnablePair(w.deleteAllSegmentsButton, w.deleteAllSegmentsItem, false);

    state_.aPoint = MarkText(player_.CurrentPosition());
    w.markFlags[0].visible = w.markCaptionBoxes[0].visible = true;
    player_.Play();
    const std::optional<int> x = PlayerMarkLeft();
    if (!x) state_.aPoint = kNoTime;
    w.markCaptionBoxes[0].geometry.left = w.markFlags[0].geometry.left = x.value_or(kTrackStartTwips);
    w.markFlags[1].visible = w.markCaptionBoxes[1].visible = false;
    if (state_.aPoint.isEmpty()) state_.aPoint = kNoTime;
    w.markCaptions[0].caption = QStringLiteral("A ") + ShownTime(state_.aPoint);
    EnablePair(w.playRepeatButton, w.playRepeatItem, false);
}

void SegmentEditor::SetBPoint() {
    Window& w = window_;
    const QString path = player_.Url();
    if (path.isEmpty() || !player_.ErrorText().isEmpty() || player_.Duration() <= 0) {
        // No file is open to keep a segment for, or to measure its times against: the A is dropped.
        EnablePair(w.setAButton, w.setAItem, !path.isEmpty() && player_.ErrorText().isEmpty());
        state_.awaitingB = false;
        repeat_.Present();
        w.markFlags[0].visible = w.markCaptionBoxes[0].visible = false;
        return;
    }
    const double b = player_.CurrentPosition();
    if (PlayerMarkLeft() && b <= MarkTextToSeconds(state_.aPoint)) {
        // A segment that ends where it starts plays nothing: the learner may still give a later B.
        w.segmentRangeLabel.caption = QString::fromUtf8("B 点须在 A 点之后");
        return;
    }
    EnablePair(w.setAButton, w.setAItem, true);
    state_.awaitingB = false;
    repeat_.Present();
    EnablePair(w.deleteSegmentButton, w.deleteSegmentItem, true);
    EnablePair(w.deleteAllSegmentsButton, w.deleteAllSegmentsItem, true);
    repeat_.StopRepeatRun({});

    state_.bPoint = MarkText(b);
    w.markFlags[1].visible = w.markCaptionBoxes[1].visible = true;
    const std::optional<int> x = PlayerMarkLeft();
    if (!x) state_.bPoint = kNoTime;
    w.markCaptionBoxes[1].geometry.left = w.markFlags[1].geometry.left = x.value_or(kTrackStartTwips);
    w.markCaptions[1].caption = QStringLiteral("B ") + ShownTime(state_.bPoint);
    w.markCaptions[0].caption = QStringLiteral("A ") + ShownTime(state_.aPoint);
    EnablePair(w.playRepeatButton, w.playRepeatItem, true);
    state_.lengthText = FormatSeconds(player_.Duration());

    if (Failed(store_.StoreSegment(path, SlotText(state_.aPoint, state_.bPoint),
                                   FormatSeconds(player_.Duration()))))
        return;
    ReloadSegments(path);
    if (state_.abList.empty()) return;

    const int n = static_cast<int>(state_.abList.size()) - 1;
    state_.abIndex = n;
    state_.segmentShown = true;
    repeat_.Present();
    w.segmentCountLabel.caption = QString::number(n + 1);
    w.segmentRangeLabel.caption = RangeText(state_.abList[n]);
}

void SegmentEditor::AddSegments(const std::vector<std::pair<double, double>>& spans) {
    Window& w = window_;
    const QString path = player_.Url();
    if (path.isEmpty() || !player_.ErrorText().isEmpty() || player_.Duration() <= 0 || spans.empty()) return;
    ReloadSegments(path);
    const int kept = static_cast<int>(state_.abList.size());
    bool replace = true;
    if (kept > 0) {
        const MessageAnswer answer = dialogs_.ShowMessage(
            QString::fromUtf8("这个文件已有 %1 个复读段。\n\n是：替换原有的复读段\n否：加在原有的复读段之后\n"
                              "取消：不改变")
                .arg(kept),
            MessageTitle(), MessageKind::QuestionWithCancel);
        if (answer != MessageAnswer::Yes && answer != MessageAnswer::No) return;
        replace = answer == MessageAnswer::Yes;
    }
    const int first = replace ? 0 : kept;
    if (first >= kSegmentSlots) {
        dialogs_.ShowMessage(
            QString::fromUtf8("复读段已满（%1 个），没有加入新的复读段。").arg(kSegmentSlots), MessageTitle(),
            MessageKind::Warning);
        return;
    }
    QStringList texts;
    for (const auto& [a, b] : spans) {
        if (texts.size() >= kSegmentSlots - first) break;
        if (b > a) texts << SlotText(MarkText(a), MarkText(b));
    }
    if (texts.isEmpty()) return;
    repeat_.StopRepeatRun({.pausePlayer = true, .captions = RunEnding::Captions::ButtonAndMenu});
    const QString length = FormatSeconds(player_.Duration());
    if (Failed(store_.StoreSegments(path, texts, length, replace))) return;
    ReloadSegments(path);
    if (first >= static_cast<int>(state_.abList.size())) return;
    state_.hasAB = true;
    state_.lengthText = length;
    // As after a B: nothing waits for its B, and the new segment can be repeated, stepped and deleted.
    EnablePair(w.setAButton, w.setAItem, true);
    state_.awaitingB = false;
    repeat_.Present();
    EnablePair(w.deleteSegmentButton, w.deleteSegmentItem, true);
    EnablePair(w.deleteAllSegmentsButton, w.deleteAllSegmentsItem, true);
    EnablePair(w.playRepeatButton, w.playRepeatItem, true);
    repeat_.GoToSegment(first);
}

void SegmentEditor::ShowEntry(int index) {
    state_.abIndex = index;
    state_.aPoint = state_.abList[index].aText;
    state_.bPoint = state_.abList[index].bText;
    display_.ShowABMarks(state_.aPoint, state_.bPoint, state_.lengthText);
    window_.segmentRangeLabel.caption = RangeText({state_.aPoint, state_.bPoint});
}

bool SegmentEditor::HasCurrentSegment() const {
    const int index = state_.abIndex;
    return state_.segmentShown && !state_.awaitingB && index >= 0 &&
           index < static_cast<int>(state_.abList.size()) && !state_.abList[index].aText.isEmpty() &&
           state_.abListPath == player_.Url();
}

void SegmentEditor::NudgeMark(Mark mark, double deltaSeconds) {
    if (!HasCurrentSegment()) return;
    MoveMark(mark, MarkTextToSeconds(mark == Mark::A ? state_.aPoint : state_.bPoint) + deltaSeconds);
}

void SegmentEditor::MoveMark(Mark mark, double seconds) {
    if (!HasCurrentSegment() || !std::isfinite(seconds)) return;
    constexpr double kLeast = 0.001;  // a segment keeps at least a millisecond
    double a = MarkTextToSeconds(state_.aPoint);
    double b = MarkTextToSeconds(state_.bPoint);
    if (mark == Mark::A) {
        a = std::clamp(seconds, 0.0, std::max(0.0, b - kLeast));
    } else {
        const double end = player_.Duration() > 0 ? player_.Duration() : std::max(seconds, b);
        b = std::clamp(seconds, a + kLeast, std::max(a + kLeast, end));
    }
    const ABPair moved{MarkText(a), MarkText(b)};
    if (Failed(
            store_.ReplaceSegment(state_.abListPath, state_.abIndex + 1, SlotText(moved.aText, moved.bText))))
        return;
    state_.abList[state_.abIndex] = moved;
    ShowEntry(state_.abIndex);

    // The learner hears the edge just moved.
    player_.SetStopPoint(b);
    player_.SetCurrentPosition(mark == Mark::A ? a : std::max(a, b - 1.0));
    player_.Play();
}

void SegmentEditor::DeleteCurrentAB() {
    Window& w = window_;
    const int n = state_.abIndex + 1;
    // With no segment current the counter names none, and nothing may be deleted.
    const bool named = state_.segmentShown && n >= 1 && n <= static_cast<int>(state_.abList.size());
    const QString path = state_.abListPath;
    if (named && Failed(store_.DeleteSegment(path, n))) return;

    repeat_.StopRepeatRun(
        {.pausePlayer = true, .captions = RunEnding::Captions::ButtonAndMenu, .enableSetA = true});
    if (!named) {
        // Nothing current to delete: the commands wait for a segment, as when none is left.
        EnablePair(w.deleteSegmentButton, w.deleteSegmentItem, false);
        EnablePair(w.deleteAllSegmentsButton, w.deleteAllSegmentsItem, false);
        return;
    }

    ReloadSegments(path);
    const int u = static_cast<int>(state_.abList.size()) - 1;
    if (u < 0 || (u == 0 && state_.abList[0].aText.trimmed().isEmpty())) {
        state_.segmentShown = false;
        display_.ResetABControls();
        EnablePair(w.setAButton, w.setAItem, true);
        EnablePair(w.deleteSegmentButton, w.deleteSegmentItem, false);
        EnablePair(w.deleteAllSegmentsButton, w.deleteAllSegmentsItem, false);
        return;
    }
    if (u == 0) {
        ShowEntry(0);
        w.segmentCountLabel.caption = QStringLiteral("1");
    } else if (u <= n - 1) {
        ShowEntry(u);
        w.segmentCountLabel.caption = QString::number(u + 1);
    } else if (n == 1) {
        ShowEntry(0);
        w.segmentCountLabel.caption = QString::number(u + 1);
    } else {
        ShowEntry(n - 1);
        w.segmentCountLabel.caption = QString::number(u + 1);
    }
    repeat_.Present();
}

void SegmentEditor::DeleteAllAB() {
    if (dialogs_.ShowMessage(QString::fromUtf8("是否删除全部AB?"), QString::fromUtf8("提示"),
                             MessageKind::Question) != MessageAnswer::Yes)
        return;
    if (Failed(store_.DeleteAllSegments(state_.abListPath))) return;
    // Nothing drawn or stepped through may still come from the deleted segments.
    state_.abList.clear();
    state_.hasAB = false;
    state_.ForgetCurrentSegment();
    display_.ResetABControls();
    repeat_.StopRepeatRun(
        {.pausePlayer = true, .captions = RunEnding::Captions::ButtonOnly, .enableSetA = true});
}

}  // namespace ostrelle
