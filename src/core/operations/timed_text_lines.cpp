#include "core/operations/timed_text_lines.h"

#include "core/formats/settings_file.h"
#include "core/formats/time_values.h"

#include <algorithm>

namespace ostrelle {

namespace {

const QString kSection = QStringLiteral("TimedText");
const QString kRawKey = QStringLiteral("Raw");

}  // namespace

void TimedTextLines::Restore(const QString& settingsFile) {
    documents_.SetTimedTextRaw(ReadIniSwitch(kSection, kRawKey, settingsFile));
}

void TimedTextLines::Run(Command command) {
    if (command == Command::TimedTextToSegments) {
        ToSegments();
        return;
    }
    documents_.SetTimedTextRaw(!state_.timedTextRaw);
    if (hooks_.textChanged) hooks_.textChanged();
    if (hooks_.writeSetting)
        hooks_.writeSetting(kSection, kRawKey,
                            state_.timedTextRaw ? QStringLiteral("1") : QStringLiteral("0"));
}

void TimedTextLines::Follow() {
    if (state_.timedText.lines.empty() || state_.timedTextRaw) return;
    window_.textPane.highlightLine = state_.timedText.LineAt(player_.CurrentPosition());
}

void TimedTextLines::LoopLine(int line) {
    const TimedText& timed = state_.timedText;
    if (state_.timedTextRaw || line < 0 || line >= static_cast<int>(timed.lines.size()) ||
        !timed.lines[line].seconds)
        return;
    if (player_.Url().isEmpty() || !player_.ErrorText().isEmpty() || player_.Duration() <= 0) return;
    const double a = *timed.lines[line].seconds;
    const double b = std::min(timed.NextTimeAfter(line).value_or(player_.Duration()), player_.Duration());
    if (b <= a) return;
    repeat_.StopRepeatRun({.pausePlayer = true, .captions = RunEnding::Captions::ButtonAndMenu});
    // A segment of the moment, not stored: the steps and nudges keep to the stored ones.
    state_.ForgetCurrentSegment();
    state_.looseSegment = ABPair{MarkTime::At(a), MarkTime::At(b)};
    window_.textPane.highlightLine = line;
    repeat_.PlayRepeat();
}

void TimedTextLines::ToSegments() {
    const TimedText& timed = state_.timedText;
    const double duration = player_.Duration();
    if (timed.lines.empty() || duration <= 0) return;
    const int from = std::max(0, timed.LineAt(player_.CurrentPosition()));
    std::vector<std::pair<double, double>> spans;
    for (int i = from; i < static_cast<int>(timed.lines.size()); ++i) {
        // Blank lines are the pauses between the spoken ones.
        if (!timed.lines[i].seconds || timed.lines[i].text.trimmed().isEmpty()) continue;
        const double a = *timed.lines[i].seconds;
        const double b = std::min(timed.NextTimeAfter(i).value_or(duration), duration);
        if (b > a) spans.emplace_back(a, b);
    }
    editor_.AddSegments(spans);
}

}  // namespace ostrelle
