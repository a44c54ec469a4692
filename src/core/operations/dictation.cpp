#include "core/operations/dictation.h"

#include "core/formats/time_values.h"
#include "core/operations/documents.h"

#include <cmath>

namespace ostrelle {
namespace {

constexpr Rgb kMissedColor{220, 0, 0};
constexpr Rgb kWrongColor{230, 120, 0};
constexpr Rgb kExtraColor{0, 90, 220};

qint64 Ms(double seconds) {
    return std::llround(seconds * 1000);
}

bool Wide(QChar c) {
    return IsCharacterScript(c.unicode()) || (c.unicode() >= 0xFF01 && c.unicode() < 0xFF61);
}

// A hidden line keeps its length and its spaces, so the learner sees how much there is to write: a wide
// character becomes a wide blank.
QString Masked(const QString& text) {
    QString masked = text;
    for (QChar& c : masked) {
        if (!c.isSpace()) c = Wide(c) ? QChar(0xFF3F) : QChar(0x2022);
    }
    return masked;
}

}  // namespace

bool Dictation::Dictatable(int line) const {
    const std::vector<TimedLine>& lines = state_.timedText.lines;
    return line >= 0 && line < static_cast<int>(lines.size()) && lines[line].seconds &&
           !lines[line].text.trimmed().isEmpty();
}

// A segment takes the lines whose middle it holds; a segment where no line is spoken is skipped, and a
// file whose segments hold no line at all is dictated line by line.
std::vector<Dictation::Unit> Dictation::MakeUnits() const {
    const std::vector<TimedLine>& lines = state_.timedText.lines;
    const int count = static_cast<int>(lines.size());
    std::vector<Unit> units;
    if (state_.abListPath == player_.Url()) {
        const double duration = player_.Duration();
        for (int s = 0; s < static_cast<int>(state_.abList.size()); ++s) {
            const ABPair& pair = state_.abList[s];
            if (pair.blank) continue;
            const double a = pair.a.Seconds();
            const double b = pair.b.Seconds();
            Unit unit{.firstLine = -1, .lastLine = -1, .segment = s, .startMs = Ms(a), .text = {}};
            QStringList texts;
            for (int i = 0; i < count; ++i) {
                if (!Dictatable(i)) continue;
                const double start = *lines[i].seconds;
                const double end =
                    std::max(start, std::min(state_.timedText.NextTimeAfter(i).value_or(duration), duration));
                const double middle = (start + end) / 2;
                if (middle < a || middle >= b) continue;
                if (unit.firstLine < 0) unit.firstLine = i;
                unit.lastLine = i;
                texts << lines[i].text.trimmed();
            }
            if (texts.isEmpty()) continue;
            unit.text = texts.join(u' ');
            units.push_back(std::move(unit));
        }
    }
    if (!units.empty()) return units;
    for (int i = 0; i < count; ++i) {
        if (Dictatable(i))
            units.push_back({.firstLine = i,
                             .lastLine = i,
                             .segment = -1,
                             .startMs = Ms(*lines[i].seconds),
                             .text = lines[i].text.trimmed()});
    }
    return units;
}

int Dictation::UnitAt(double seconds) const {
    if (units_.empty()) return -1;
    for (int u = 0; u < static_cast<int>(units_.size()); ++u) {
        if (units_[u].segment >= 0 && state_.abIndex && units_[u].segment == *state_.abIndex) return u;
    }
    const int line = std::max(0, state_.timedText.LineAt(seconds));
    for (int u = 0; u < static_cast<int>(units_.size()); ++u) {
        if (units_[u].segment < 0 && units_[u].lastLine >= line) return u;
    }
    return 0;
}

void Dictation::Toggle() {
    if (on_) {
        Off();
        return;
    }
    units_ = state_.timedTextRaw ? std::vector<Unit>() : MakeUnits();
    if (units_.empty() || player_.Duration() <= 0) {
        units_.clear();
        dialogs_.ShowMessage(
            QString::fromUtf8("听写需要带时间的歌词或字幕（与音频同名的 LRC 或 SRT 文件）。"), MessageTitle(),
            MessageKind::Information);
        return;
    }
    unitsFrom_ = state_.abList;
    on_ = true;
    window_.dictationItem.checked = true;
    window_.dictationInput.visible = true;
    window_.followTextTimer.enabled = false;  // the line being dictated stays highlighted
    keptScores_.clear();
    scoresPath_ = player_.Url();
    if (scores_) {
        Result<std::map<qint64, int>> kept = scores_->ScoresOf(scoresPath_);
        if (kept.ok()) keptScores_ = std::move(kept.value());
    }
    GoTo(UnitAt(player_.CurrentPosition()));
}

void Dictation::ToggleMaskAll() {
    window_.dictationMaskAllItem.checked = !window_.dictationMaskAllItem.checked;
    if (on_) Compose();
}

void Dictation::Off() {
    on_ = false;
    units_.clear();
    unit_ = -1;
    checked_.reset();
    window_.dictationItem.checked = false;
    window_.dictationInput = {};
    window_.textPane.marks = UnplacedSentenceMarks(state_);
    window_.followTextTimer.enabled = !state_.timedText.lines.empty() && !state_.timedTextRaw;
    if (!state_.timedText.lines.empty() && !state_.timedTextRaw)
        window_.textPane.text = state_.timedText.ShownText();
}

void Dictation::LessonChanged(const QString& path) {
    if (on_ && path != scoresPath_) Off();
}

void Dictation::Present() {
    FollowSegments();
    if (!on_) return;
    EnablePair(window_.nextSegmentButton, window_.nextSegmentItem, CanStep(+1));
    EnablePair(window_.previousSegmentButton, window_.previousSegmentItem, CanStep(-1));
}

void Dictation::TextChanged() {
    if (on_ && (state_.timedTextRaw || MakeUnits().empty() || player_.Url() != scoresPath_)) Off();
}

// Keeps to the unit that starts where the current one did; the run under way is left alone.
void Dictation::FollowSegments() {
    if (!on_ || state_.abList == unitsFrom_) return;
    unitsFrom_ = state_.abList;
    const qint64 was = units_[unit_].startMs;
    units_ = MakeUnits();
    if (units_.empty()) {
        Off();
        return;
    }
    unit_ = UnitAt(player_.CurrentPosition());
    for (int u = 0; u < static_cast<int>(units_.size()); ++u) {
        if (units_[u].startMs == was) unit_ = u;
    }
    checked_.reset();
    Compose();
}

void Dictation::GoTo(int unit) {
    unit_ = unit;
    checked_.reset();
    window_.dictationInput.text.clear();
    const Unit& current = units_[unit];
    if (current.segment >= 0)
        loops_.segment(current.segment);
    else
        loops_.line(current.firstLine);
    Compose();
}

void Dictation::Step(int delta) {
    if (!on_) return;
    const int next = unit_ + delta;
    if (next >= 0 && next < static_cast<int>(units_.size())) GoTo(next);
}

void Dictation::Check(const QString& typed) {
    if (!on_ || unit_ < 0) return;
    const Unit& unit = units_[unit_];
    checked_ = CheckDictation(typed, unit.text);
    const int percent = checked_->Percent();
    keptScores_[unit.startMs] = percent;
    if (scores_) {
        const Result<void> kept = scores_->KeepScore(scoresPath_, unit.startMs, percent);
        if (!kept.ok())
            dialogs_.ShowMessage(FailureMessage(QString::fromUtf8("听写成绩没有保存。"), kept.failure()),
                                 MessageTitle(), MessageKind::Error);
    }
    Compose();
    if (loops_.checked) loops_.checked(percent, unit.text);
}

// The pane: every line, each unit's kept score after its last line; the lines being dictated joined in one,
// hidden until checked, then marked up; with 遮住全部 the other spoken lines hidden too.
void Dictation::Compose() {
    const std::vector<TimedLine>& lines = state_.timedText.lines;
    const bool maskAll = window_.dictationMaskAllItem.checked;
    const Unit& current = units_[unit_];
    std::map<int, int> scoreAfterLine;
    for (const Unit& unit : units_) {
        if (const auto score = keptScores_.find(unit.startMs); score != keptScores_.end())
            scoreAfterLine[unit.lastLine] = score->second;
    }
    QStringList shown;
    std::vector<PaneMark> marks;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        if (i > current.firstLine && i <= current.lastLine) continue;
        const int row = static_cast<int>(shown.size());
        QString text;
        if (i == current.firstLine && checked_) {
            for (const DictationPart& part : checked_->parts) {
                const int at = static_cast<int>(text.size());
                switch (part.mark) {
                    case DictationMark::Correct:
                        text += part.expected;
                        break;
                    case DictationMark::Missed:
                        text += part.expected;
                        marks.push_back(
                            {row, at, static_cast<int>(part.expected.size()), kMissedColor, true});
                        break;
                    case DictationMark::Wrong:
                        text += part.expected + u'(' + part.typed + u')';
                        marks.push_back({row, at, static_cast<int>(text.size()) - at, kWrongColor, false});
                        break;
                    case DictationMark::Extra:
                        text += u'[' + part.typed + u']';
                        marks.push_back({row, at, static_cast<int>(text.size()) - at, kExtraColor, false});
                        break;
                }
            }
        } else if (i == current.firstLine) {
            text = Masked(current.text);
        } else {
            text = maskAll && Dictatable(i) ? Masked(lines[i].text) : lines[i].text;
        }
        const int last = i == current.firstLine ? current.lastLine : i;
        if (const auto score = scoreAfterLine.find(last); score != scoreAfterLine.end())
            text += QStringLiteral("  ") + QString::number(score->second) + u'%';
        if (i == current.firstLine) window_.textPane.highlightLine = row;
        shown << text;
    }
    window_.textPane.text = shown.join(u'\n');
    window_.textPane.marks = std::move(marks);
}

}  // namespace ostrelle
