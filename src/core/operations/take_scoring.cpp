#include "core/operations/take_scoring.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>

namespace ostrelle {
namespace {

QString Scored(const char* what, int score) {
    return QString::fromUtf8("%1 %2 %3")
        .arg(QString::fromUtf8(what))
        .arg(score)
        .arg(QString::fromUtf8(ScoreWord(score)));
}

}  // namespace

void TakeScoring::Score(const QString& lesson, const ABPair& segment, const QString& take, bool fresh) {
    if (!scorer_) return;
    lesson_ = lesson;
    segment_ = segment;
    fresh_ = fresh;
    latest_.reset();
    Show(QString::fromUtf8("正在评分……"));
    scorer_->Score(lesson, segment.a.Seconds(), segment.b.Seconds(), take);
}

void TakeScoring::ScoreReady() {
    if (!scorer_ || scorer_->Running() || lesson_.isEmpty()) return;
    if (scorer_->Problem() || !scorer_->Result()) {
        Show(QString::fromUtf8("无法评分：") +
             FailureMessage(scorer_->Problem().value_or(Failure{FailureCode::NotAudio, {}})));
        return;
    }
    const TakeScore& score = *scorer_->Result();
    if (score.problem) {
        window_.waveform.pitch.clear();
        window_.waveform.flags.clear();
        Show(QString::fromUtf8(TakeProblemMessage(*score.problem)));
        return;
    }
    latest_ = score;
    ShowLines(score);
    QString text = Scored("内容", score.content) + QString::fromUtf8(" · ") + Scored("节奏", score.timing) +
                   QString::fromUtf8(" · ") + Scored("语调", score.intonation);
    if (history_) {
        const qint64 a = segment_.a.ms, b = segment_.b.ms;
        if (fresh_)
            (void)history_->KeepTakeScore(
                lesson_, a, b,
                {QDateTime::currentMSecsSinceEpoch(), score.content, score.timing, score.intonation});
        const Result<std::vector<TakeScoreHistory::Entry>> kept =
            history_->TakeScoresOf(lesson_, a, b, kHistoryShown + (fresh_ ? 1 : 0));
        QStringList earlier;
        if (kept.ok()) {
            for (std::size_t i = fresh_ ? 1 : 0; i < kept.value().size(); ++i) {
                const TakeScoreHistory::Entry& entry = kept.value()[i];
                earlier << QDateTime::fromMSecsSinceEpoch(entry.whenMs).toString(QStringLiteral("M-d ")) +
                               QString::fromUtf8("%1/%2/%3")
                                   .arg(entry.content)
                                   .arg(entry.timing)
                                   .arg(entry.intonation);
            }
        }
        if (!earlier.isEmpty())
            text += QString::fromUtf8("    此前：") + earlier.join(QString::fromUtf8("  "));
    }
    if (fresh_ && scored_) scored_(lesson_, segment_, score.content);
    fresh_ = false;
    Show(text);
}

void TakeScoring::Present() {
    if (lesson_.isEmpty()) return;
    const ABPair* segment = state_.RepeatedSegment();
    if (!segment || segment->a.ms != segment_.a.ms || segment->b.ms != segment_.b.ms) Clear();
}

void TakeScoring::Clear() {
    if (scorer_) scorer_->Cancel();
    lesson_.clear();
    latest_.reset();
    window_.waveform.pitch.clear();
    window_.waveform.flags.clear();
    Show(QString());
}

void TakeScoring::ShowLines(const TakeScore& score) {
    const double a = segment_.a.Seconds();
    window_.waveform.pitch.clear();
    for (const PitchPair& pair : score.pitch)
        window_.waveform.pitch.push_back({a + pair.at, pair.original, pair.take});
    window_.waveform.flags.clear();
    const auto takeSeconds = [&score](double originalSeconds) {
        const auto frames = static_cast<int>(score.takeFrameAt.size());
        int frame = std::clamp(static_cast<int>(originalSeconds * 100), 0, frames - 1);
        // Before the original's voice or after it, the nearest frame the warp reached.
        while (frame > 0 && score.takeFrameAt[frame] < 0)
            --frame;
        while (frame + 1 < frames && score.takeFrameAt[frame] < 0)
            ++frame;
        return frames > 0 ? std::max(0, score.takeFrameAt[frame]) / 100.0 : 0.0;
    };
    for (const TakeSpan& flag : score.flags)
        window_.waveform.flags.push_back(
            {a + flag.start, a + flag.end, takeSeconds(flag.start), takeSeconds(flag.end)});
}

void TakeScoring::Show(const QString& text) {
    window_.takeScore.caption = text;
    window_.takeScore.visible = !text.isEmpty();
    if (showInCue_) showInCue_(text);
}

}  // namespace ostrelle
