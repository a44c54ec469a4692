#include "core/operations/dictation.h"

#include <cmath>

namespace ostrelle {
namespace {

constexpr Rgb kMissedColor{220, 0, 0};
constexpr Rgb kWrongColor{230, 120, 0};
constexpr Rgb kExtraColor{0, 90, 220};

qint64 LineMs(const TimedLine& line) {
    return std::llround(line.seconds.value_or(0) * 1000);
}

// A hidden line keeps its length and its spaces, so the learner sees how much there is to write.
QString Masked(const QString& text) {
    QString masked = text;
    for (QChar& c : masked) {
        if (!c.isSpace()) c = QChar(0x2022);
    }
    return masked;
}

}  // namespace

bool Dictation::Dictatable(int line) const {
    const std::vector<TimedLine>& lines = state_.timedText.lines;
    return line >= 0 && line < static_cast<int>(lines.size()) && lines[line].seconds &&
           !lines[line].text.trimmed().isEmpty();
}

int Dictation::FirstLineFrom(int line, int delta) const {
    const int count = static_cast<int>(state_.timedText.lines.size());
    for (int i = line; i >= 0 && i < count; i += delta) {
        if (Dictatable(i)) return i;
    }
    return -1;
}

void Dictation::Toggle() {
    if (on_) {
        Off();
        return;
    }
    const int first = FirstLineFrom(std::max(0, state_.timedText.LineAt(player_.CurrentPosition())), +1);
    const int line = first >= 0 ? first : FirstLineFrom(0, +1);
    if (state_.timedTextRaw || line < 0 || player_.Duration() <= 0) {
        dialogs_.ShowMessage(
            QString::fromUtf8("听写需要带时间的歌词或字幕（与音频同名的 LRC 或 SRT 文件）。"), MessageTitle(),
            MessageKind::Information);
        return;
    }
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
    GoTo(line);
}

void Dictation::ToggleMaskAll() {
    window_.dictationMaskAllItem.checked = !window_.dictationMaskAllItem.checked;
    if (on_) Compose();
}

void Dictation::Off() {
    on_ = false;
    line_ = -1;
    checked_.reset();
    window_.dictationItem.checked = false;
    window_.dictationInput = {};
    window_.textPane.marks.clear();
    window_.followTextTimer.enabled = !state_.timedText.lines.empty() && !state_.timedTextRaw;
    if (!state_.timedText.lines.empty() && !state_.timedTextRaw)
        window_.textPane.text = state_.timedText.ShownText();
}

void Dictation::TextChanged() {
    if (on_ && (state_.timedTextRaw || FirstLineFrom(0, +1) < 0 || player_.Url() != scoresPath_)) Off();
}

void Dictation::GoTo(int line) {
    line_ = line;
    checked_.reset();
    window_.dictationInput.text.clear();
    Compose();
    loopLine_(line);
    window_.textPane.highlightLine = line;
}

void Dictation::Step(int delta) {
    if (!on_) return;
    const int next = FirstLineFrom(line_ + delta, delta);
    if (next >= 0) GoTo(next);
}

void Dictation::Check(const QString& typed) {
    if (!on_ || !Dictatable(line_)) return;
    const TimedLine& line = state_.timedText.lines[line_];
    checked_ = CheckDictation(typed, line.text);
    const int percent = checked_->Percent();
    keptScores_[LineMs(line)] = percent;
    if (scores_) {
        const Result<void> kept = scores_->KeepScore(scoresPath_, LineMs(line), percent);
        if (!kept.ok())
            dialogs_.ShowMessage(FailureMessage(QString::fromUtf8("听写成绩没有保存。"), kept.failure()),
                                 MessageTitle(), MessageKind::Error);
    }
    Compose();
}

// The pane: every line with its kept score; the dictated line hidden until checked, then marked up; with
// 遮住全部 the other lines hidden too.
void Dictation::Compose() {
    const std::vector<TimedLine>& lines = state_.timedText.lines;
    const bool maskAll = window_.dictationMaskAllItem.checked;
    QStringList shown;
    std::vector<PaneMark> marks;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        QString text;
        if (i == line_ && checked_) {
            for (const DictationPart& part : checked_->parts) {
                const int at = static_cast<int>(text.size());
                switch (part.mark) {
                    case DictationMark::Correct:
                        text += part.expected;
                        break;
                    case DictationMark::Missed:
                        text += part.expected;
                        marks.push_back({i, at, static_cast<int>(part.expected.size()), kMissedColor, true});
                        break;
                    case DictationMark::Wrong:
                        text += part.expected + u'(' + part.typed + u')';
                        marks.push_back({i, at, static_cast<int>(text.size()) - at, kWrongColor, false});
                        break;
                    case DictationMark::Extra:
                        text += u'[' + part.typed + u']';
                        marks.push_back({i, at, static_cast<int>(text.size()) - at, kExtraColor, false});
                        break;
                }
            }
        } else {
            text = (i == line_ || (maskAll && Dictatable(i))) ? Masked(lines[i].text) : lines[i].text;
        }
        if (Dictatable(i)) {
            if (const auto score = keptScores_.find(LineMs(lines[i])); score != keptScores_.end())
                text += QStringLiteral("  ") + QString::number(score->second) + u'%';
        }
        shown << text;
    }
    window_.textPane.text = shown.join(u'\n');
    window_.textPane.marks = std::move(marks);
}

}  // namespace ostrelle
