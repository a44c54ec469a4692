#include "core/operations/segment_editor.h"

#include "core/formats/time_values.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace ostrelle {
namespace {

struct Nudge {
    Command command;
    MenuItem Window::*item;
    SegmentEditor::Mark mark;
    double seconds;
};

constexpr std::array<Nudge, 8> kNudges = {{
    {Command::NudgeAEarlier, &Window::nudgeAEarlierItem, SegmentEditor::Mark::A, -0.010},
    {Command::NudgeALater, &Window::nudgeALaterItem, SegmentEditor::Mark::A, 0.010},
    {Command::NudgeAMuchEarlier, &Window::nudgeAMuchEarlierItem, SegmentEditor::Mark::A, -0.100},
    {Command::NudgeAMuchLater, &Window::nudgeAMuchLaterItem, SegmentEditor::Mark::A, 0.100},
    {Command::NudgeBEarlier, &Window::nudgeBEarlierItem, SegmentEditor::Mark::B, -0.010},
    {Command::NudgeBLater, &Window::nudgeBLaterItem, SegmentEditor::Mark::B, 0.010},
    {Command::NudgeBMuchEarlier, &Window::nudgeBMuchEarlierItem, SegmentEditor::Mark::B, -0.100},
    {Command::NudgeBMuchLater, &Window::nudgeBMuchLaterItem, SegmentEditor::Mark::B, 0.100},
}};

}  // namespace

bool SegmentEditor::Owns(Command command) const {
    return command == Command::SetA || command == Command::SetB || command == Command::DeleteSegment ||
           command == Command::DeleteAllSegments ||
           std::any_of(kNudges.begin(), kNudges.end(),
                       [command](const Nudge& n) { return n.command == command; });
}

void SegmentEditor::Run(Command command) {
    switch (command) {
        case Command::SetA:
            SetAPoint();
            return;
        case Command::SetB:
            // A full list drops its oldest segment for the new one.
            SetBPoint();
            break;
        case Command::DeleteSegment:
            DeleteCurrentAB();
            break;
        case Command::DeleteAllSegments:
            DeleteAllAB();
            break;
        default:
            for (const Nudge& nudge : kNudges)
                if (nudge.command == command) NudgeMark(nudge.mark, nudge.seconds);
            return;
    }
    // A segment's take and review state go with the segment.
    if (hooks_.segmentsChanged && !state_.abListPath.isEmpty()) hooks_.segmentsChanged(state_.abListPath);
}

void SegmentEditor::Present() {
    const bool nudging = HasCurrentSegment();
    for (const Nudge& nudge : kNudges)
        (window_.*nudge.item).enabled = nudging;
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
    // A place the player cannot measure reads as the file's start, written as it always was.
    const bool measured = player_.CurrentPosition() > 0 && player_.Duration() > 0;
    state_.pendingA =
        measured ? MarkTime::At(player_.CurrentPosition()) : MarkTime{0, MarkTime::Form::MinutesSeconds};
    state_.refusedB = false;
    player_.Play();
}

void SegmentEditor::SetBPoint() {
    const QString path = player_.Url();
    if (!state_.pendingA) return;
    if (path.isEmpty() || !player_.ErrorText().isEmpty() || player_.Duration() <= 0) {
        // No file is open to keep a segment for, or to measure its times against: the A is dropped.
        state_.ForgetCurrentSegment();
        state_.markingOff = path.isEmpty() || !player_.ErrorText().isEmpty();
        return;
    }
    const double b = player_.CurrentPosition();
    const ABPair segment{*state_.pendingA, MarkTime::At(b)};
    if (segment.b.ms <= segment.a.ms) {
        // A segment that ends where it starts plays nothing: the learner may still give a later B.
        state_.refusedB = true;
        return;
    }
    repeat_.StopRepeatRun({});
    state_.pendingA.reset();
    state_.refusedB = false;
    state_.listedLengthMs = MarkTime::At(player_.Duration()).ms;
    // Until it is stored the new segment is the one shown, as the learner marked it.
    state_.looseSegment = segment;
    if (Failed(store_.StoreSegment(path, segment, player_.Duration()))) return;
    ReloadSegments(path);
    state_.looseSegment.reset();
    if (state_.abList.empty()) return;
    state_.abIndex = static_cast<int>(state_.abList.size()) - 1;
}

void SegmentEditor::AddSegments(const std::vector<std::pair<double, double>>& spans) {
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
    ABList segments;
    int found = 0;
    for (const auto& [a, b] : spans) {
        const ABPair segment{MarkTime::At(a), MarkTime::At(b)};
        if (segment.b.ms <= segment.a.ms) continue;
        ++found;
        if (static_cast<int>(segments.size()) < kSegmentSlots - first) segments.push_back(segment);
    }
    if (segments.empty()) return;
    repeat_.StopRepeatRun({.pausePlayer = true, .captions = RunEnding::Captions::ButtonAndMenu});
    if (Failed(store_.StoreSegments(path, segments, player_.Duration(), replace))) return;
    if (found > static_cast<int>(segments.size()))
        dialogs_.ShowMessage(QString::fromUtf8("找到 %1 句，复读段只有 %2 个空位：加入了前 %2 句。")
                                 .arg(found)
                                 .arg(segments.size()),
                             MessageTitle(), MessageKind::Information);
    ReloadSegments(path);
    if (hooks_.segmentsChanged) hooks_.segmentsChanged(path);
    if (first >= static_cast<int>(state_.abList.size())) return;
    state_.hasAB = true;
    state_.listedLengthMs = MarkTime::At(player_.Duration()).ms;
    // As after a B: the first new segment is current, and nothing waits for its B.
    repeat_.GoToSegment(first);
}

bool SegmentEditor::HasCurrentSegment() const {
    return state_.StoredSegmentCurrent() && state_.abListPath == player_.Url();
}

void SegmentEditor::NudgeMark(Mark mark, double deltaSeconds) {
    if (!HasCurrentSegment()) return;
    const ABPair& segment = *state_.RepeatedSegment();
    MoveMark(mark, (mark == Mark::A ? segment.a : segment.b).Seconds() + deltaSeconds);
}

void SegmentEditor::MoveMark(Mark mark, double seconds) {
    if (!HasCurrentSegment() || !std::isfinite(seconds)) return;
    constexpr double kLeast = 0.001;  // a segment keeps at least a millisecond
    const int index = *state_.abIndex;
    double a = state_.abList[index].a.Seconds();
    double b = state_.abList[index].b.Seconds();
    if (mark == Mark::A) {
        a = std::clamp(seconds, 0.0, std::max(0.0, b - kLeast));
    } else {
        const double end = player_.Duration() > 0 ? player_.Duration() : std::max(seconds, b);
        b = std::clamp(seconds, a + kLeast, std::max(a + kLeast, end));
    }
    ABPair moved = state_.abList[index];
    (mark == Mark::A ? moved.a : moved.b) = MarkTime::At(mark == Mark::A ? a : b);
    if (Failed(store_.ReplaceSegment(state_.abListPath, index + 1, moved))) return;
    if (hooks_.segmentMoved)
        hooks_.segmentMoved(state_.abListPath, {state_.abList[index].a.ms, state_.abList[index].b.ms},
                            {moved.a.ms, moved.b.ms});
    state_.abList[index] = moved;

    // The learner hears the edge just moved.
    player_.SetStopPoint(b);
    player_.SetCurrentPosition(mark == Mark::A ? a : std::max(a, b - 1.0));
    player_.Play();
}

void SegmentEditor::DeleteCurrentAB() {
    // With no segment current the counter names none, and nothing may be deleted.
    const bool named = state_.abIndex && state_.RepeatedSegment() && !state_.looseSegment;
    const int n = state_.abIndex.value_or(-1) + 1;
    const QString path = state_.abListPath;
    if (named && Failed(store_.DeleteSegment(path, n))) return;

    repeat_.StopRepeatRun({.pausePlayer = true, .captions = RunEnding::Captions::ButtonAndMenu});
    if (!named) return;

    ReloadSegments(path);
    state_.ForgetCurrentSegment();
    const int u = static_cast<int>(state_.abList.size()) - 1;
    if (u < 0 || (u == 0 && state_.abList[0].blank)) return;
    // The segment after the deleted one moves into its place; after the last, the one before it shows.
    state_.abIndex = std::min(n - 1, u);
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
    repeat_.StopRepeatRun({.pausePlayer = true, .captions = RunEnding::Captions::ButtonOnly});
}

}  // namespace ostrelle
