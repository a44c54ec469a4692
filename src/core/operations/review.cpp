#include "core/operations/review.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

namespace ostrelle {
namespace {

const char* GradeWord(Grade grade) {
    switch (grade) {
        case Grade::Again:
            return "重来";
        case Grade::Hard:
            return "困难";
        case Grade::Good:
            return "良好";
        case Grade::Easy:
            return "简单";
    }
    return "";
}

}  // namespace

qint64 EndOfToday(qint64 nowMs) {
    const QDate today = QDateTime::fromMSecsSinceEpoch(nowMs).date();
    return QDateTime(today.addDays(1), QTime(0, 0)).toMSecsSinceEpoch() - 1;
}

bool Review::Owns(Command command) const {
    switch (command) {
        case Command::ToggleHard:
        case Command::Review:
        case Command::RevealReview:
        case Command::GradeAgain:
        case Command::GradeHard:
        case Command::GradeGood:
        case Command::GradeEasy:
            return true;
        default:
            return false;
    }
}

void Review::Run(Command command) {
    switch (command) {
        case Command::ToggleHard:
            ToggleHard();
            break;
        case Command::Review:
            on_ ? Stop() : Start();
            break;
        case Command::RevealReview:
            Reveal();
            break;
        case Command::GradeAgain:
            GradeCard(Grade::Again);
            break;
        case Command::GradeHard:
            GradeCard(Grade::Hard);
            break;
        case Command::GradeGood:
            GradeCard(Grade::Good);
            break;
        case Command::GradeEasy:
            GradeCard(Grade::Easy);
            break;
        default:
            break;
    }
}

qint64 Review::Now() const {
    return hooks_.nowMs ? hooks_.nowMs() : QDateTime::currentMSecsSinceEpoch();
}

bool Review::Failed(const Result<void>& stored) {
    if (stored.ok()) return false;
    // Told once: a database that keeps failing would otherwise interrupt every pass.
    if (!failureTold_)
        dialogs_.ShowMessage(FailureMessage(QString::fromUtf8("难句本没有保存。"), stored.failure()),
                             MessageTitle(), MessageKind::Error);
    failureTold_ = true;
    return true;
}

std::optional<HardSentence> Review::CurrentSpan() const {
    const ABPair* segment = state_.RepeatedSegment();
    const QString path = player_.Url();
    if (!segment || state_.pendingA || path.isEmpty() || segment->b.ms <= segment->a.ms) return std::nullopt;
    if (!state_.looseSegment && state_.abListPath != path) return std::nullopt;
    HardSentence sentence;
    sentence.path = path;
    sentence.aMs = segment->a.ms;
    sentence.bMs = segment->b.ms;
    sentence.segment = !state_.looseSegment;
    return sentence;
}

void Review::Reload(const QString& path) {
    lesson_ = path;
    hardSpans_.clear();
    if (!store_ || path.isEmpty()) return;
    const Result<std::vector<HardSentence>> kept = store_->HardSentences(path);
    if (!kept.ok()) return;
    for (const HardSentence& sentence : kept.value())
        hardSpans_.emplace_back(sentence.aMs, sentence.bMs);
}

void Review::Recount() {
    counted_ = true;
    dueToday_ = 0;
    if (!store_) return;
    const Result<std::vector<HardSentence>> due = store_->DueHard(EndOfToday(Now()));
    if (due.ok()) dueToday_ = static_cast<int>(due.value().size());
}

void Review::MakeHard(HardSentence sentence) {
    if (!store_) return;
    if (sentence.path != lesson_) Reload(sentence.path);
    if (std::find(hardSpans_.begin(), hardSpans_.end(), std::pair{sentence.aMs, sentence.bMs}) !=
        hardSpans_.end())
        return;
    // A stored segment that is also a timed line counts as the segment, so that it goes when that goes.
    if (!sentence.segment && state_.abListPath == sentence.path) {
        for (const ABPair& pair : state_.abList)
            if (!pair.blank && pair.a.ms == sentence.aMs && pair.b.ms == sentence.bMs)
                sentence.segment = true;
    }
    const qint64 now = Now();
    sentence.sinceMs = now;
    sentence.memory = CardMemory{};
    sentence.memory.dueMs = now;
    if (sentence.text.isEmpty() && sentence.path == player_.Url())
        sentence.text = state_.timedText.SpokenBetween(sentence.aMs / 1000.0, sentence.bMs / 1000.0);
    if (Failed(store_->KeepHard(sentence))) return;
    hardSpans_.emplace_back(sentence.aMs, sentence.bMs);
    Recount();
}

void Review::ToggleHard() {
    if (!store_) {
        dialogs_.ShowMessage(QString::fromUtf8("播放列表数据库没有打开，难句本无法保存。"), MessageTitle(),
                             MessageKind::Warning);
        return;
    }
    std::optional<HardSentence> span = CurrentSpan();
    if (!span) {
        if (hooks_.note)
            hooks_.note(QString::fromUtf8("没有当前的复读段：先标出 A、B 段点，或选一个复读段。"));
        return;
    }
    if (span->path != lesson_) Reload(span->path);
    const auto at = std::find(hardSpans_.begin(), hardSpans_.end(), std::pair{span->aMs, span->bMs});
    if (at != hardSpans_.end()) {
        if (Failed(store_->ForgetHard(span->path, span->aMs, span->bMs))) return;
        hardSpans_.erase(at);
        Recount();
        if (hooks_.note) hooks_.note(QString::fromUtf8("已从难句本删去这一句。"));
        return;
    }
    MakeHard(*span);
    if (hooks_.note) hooks_.note(QString::fromUtf8("已加入难句本，今天就可以复习（F7）。"));
}

void Review::DictationChecked(int percent, const QString& text) {
    if (percent >= kHardDictationBelow) return;
    std::optional<HardSentence> span = CurrentSpan();
    if (!span) return;
    span->reason = HardSentence::Reason::Dictation;
    span->text = text;
    MakeHard(*span);
}

void Review::TakeScored(const QString& lesson, std::pair<qint64, qint64> span, int content) {
    if (content >= kHardTakeBelow || lesson.isEmpty() || span.second <= span.first) return;
    HardSentence sentence;
    sentence.path = lesson;
    sentence.aMs = span.first;
    sentence.bMs = span.second;
    sentence.segment = false;
    sentence.reason = HardSentence::Reason::Take;
    MakeHard(sentence);
}

void Review::SegmentMoved(const QString& path, std::pair<qint64, qint64> from, std::pair<qint64, qint64> to) {
    if (!store_ || from == to) return;
    (void)Failed(store_->MoveHard(path, from, to));
    if (path == lesson_) Reload(path);
}

void Review::SegmentsChanged(const QString& path, const std::vector<std::pair<qint64, qint64>>& spans) {
    if (!store_) return;
    (void)Failed(store_->KeepHardSegmentsOnly(path, spans));
    if (path == lesson_) Reload(path);
    Recount();
}

void Review::TellDue() {
    Recount();
    if (dueToday_ > 0 && hooks_.note)
        hooks_.note(QString::fromUtf8("今天有 %1 句难句要复习：按 F7 开始。").arg(dueToday_));
}

void Review::Start() {
    if (!store_) {
        dialogs_.ShowMessage(QString::fromUtf8("播放列表数据库没有打开，无法复习难句。"), MessageTitle(),
                             MessageKind::Warning);
        return;
    }
    Result<std::vector<HardSentence>> due = store_->DueHard(EndOfToday(Now()));
    if (!due.ok()) {
        (void)Failed(due.failure());
        return;
    }
    if (due.value().empty()) {
        const Result<std::vector<HardSentence>> all = store_->HardSentences();
        const int count = all.ok() ? static_cast<int>(all.value().size()) : 0;
        dialogs_.ShowMessage(count == 0
                                 ? QString::fromUtf8("难句本还是空的：复读时按 Ctrl+H 把听不懂的句子加进来。")
                                 : QString::fromUtf8("今天没有要复习的难句。难句本共有 %1 句。").arg(count),
                             MessageTitle(), MessageKind::Information);
        return;
    }
    queue_ = std::move(due.value());
    dueToday_ = static_cast<int>(queue_.size());
    on_ = true;
    graded_ = 0;
    PlayCard(0);
}

void Review::PlayCard(std::size_t index) {
    for (; index < queue_.size(); ++index) {
        HardSentence& card = queue_[index];
        if (card.path != player_.Url() || !player_.ErrorText().isEmpty()) {
            if (!QFileInfo(card.path).isFile()) continue;
            opening_ = true;
            const bool opened = hooks_.openLesson && hooks_.openLesson(card.path);
            opening_ = false;
            if (!opened) continue;
        }
        // Words kept without: the lesson's timed text, now loaded, may give them (and grading keeps them).
        if (card.text.isEmpty())
            card.text = state_.timedText.SpokenBetween(card.aMs / 1000.0, card.bMs / 1000.0);
        repeat_.StopRepeatRun({.pausePlayer = true, .captions = RunEnding::Captions::ButtonAndMenu});
        const auto stored = std::find_if(
            state_.abList.begin(), state_.abList.end(),
            [&card](const ABPair& p) { return !p.blank && p.a.ms == card.aMs && p.b.ms == card.bMs; });
        if (state_.abListPath == card.path && stored != state_.abList.end()) {
            repeat_.GoToSegment(static_cast<int>(stored - state_.abList.begin()));
        } else {
            state_.ForgetCurrentSegment();
            state_.looseSegment = ABPair{{card.aMs}, {card.bMs}};
        }
        card_ = index;
        revealed_ = false;
        repeat_.PlayRepeat();
        return;
    }
    // Nothing left that can be played.
    const int graded = graded_;
    const bool unplayed = graded_ == 0 && !queue_.empty();
    Stop();
    dialogs_.ShowMessage(unplayed ? QString::fromUtf8("要复习的难句所在的文件都打不开了。")
                                  : QString::fromUtf8("今天的难句复习完了：评了 %1 次。").arg(graded),
                         MessageTitle(), MessageKind::Information);
}

void Review::Stop() {
    if (!on_) return;
    on_ = false;
    queue_.clear();
    repeat_.StopRepeatRun({.pausePlayer = true, .captions = RunEnding::Captions::ButtonAndMenu});
    state_.looseSegment.reset();
    window_.reviewCue.visible = false;
    if (hooks_.restoreText) hooks_.restoreText();
    Recount();
}

void Review::Reveal() {
    if (on_) revealed_ = true;
}

void Review::GradeCard(Grade grade) {
    if (!on_ || card_ >= queue_.size() || !store_) return;
    HardSentence card = queue_[card_];
    const qint64 now = Now();
    const bool lapse = grade == Grade::Again && card.memory.phase == CardPhase::Review;
    card.memory = scheduler_.Review(card.memory, grade, now);
    ++card.reviews;
    if (lapse) ++card.lapses;
    if (Failed(store_->KeepHard(card))) return;
    ++graded_;
    if (hooks_.graded) hooks_.graded();
    if (hooks_.note)
        hooks_.note(
            QString::fromUtf8("%1：下次 %2")
                .arg(
                    QString::fromUtf8(GradeWord(grade)),
                    QDateTime::fromMSecsSinceEpoch(card.memory.dueMs).toString(QStringLiteral("M-d HH:mm"))));
    // A sentence in its short steps comes back at the end of the round when it falls due soon: a learner
    // does not wait ten minutes for it.
    if (card.memory.dueMs <= now + kLearnAheadMs) queue_.push_back(card);
    PlayCard(card_ + 1);
}

void Review::LessonChanged(const QString& path) {
    if (opening_) {
        Reload(path);
        return;
    }
    if (on_) {
        on_ = false;
        queue_.clear();
        window_.reviewCue.visible = false;
    }
    Reload(path);
    Recount();
}

void Review::Present() {
    Window& w = window_;
    if (!counted_) Recount();
    const std::optional<HardSentence> span = CurrentSpan();
    if (span && span->path != lesson_) Reload(span->path);
    w.hardItem.enabled = store_ && span.has_value();
    w.hardItem.checked = span && std::find(hardSpans_.begin(), hardSpans_.end(),
                                           std::pair{span->aMs, span->bMs}) != hardSpans_.end();
    w.reviewItem.enabled = store_ != nullptr;
    w.reviewItem.caption = on_             ? QString::fromUtf8("结束复习")
                           : dueToday_ > 0 ? QString::fromUtf8("复习难句（今天 %1 句）").arg(dueToday_)
                                           : QString::fromUtf8("复习难句");
    for (MenuItem* item :
         {&w.revealReviewItem, &w.gradeAgainItem, &w.gradeHardItem, &w.gradeGoodItem, &w.gradeEasyItem})
        item->enabled = on_;
    w.reviewCue.visible = on_;
    if (!on_ || card_ >= queue_.size()) return;

    const HardSentence& card = queue_[card_];
    const auto left = static_cast<int>(queue_.size() - card_);
    w.reviewCue.caption =
        QString::fromUtf8(
            "复习：还有 %1 句   空格 显示句子   1 重来  2 困难  3 良好  4 简单   F4 再听   F7 结束")
            .arg(left);
    const QString& words = card.text;
    QString text =
        QString::fromUtf8("复习难句（还有 %1 句）\n%2\n\n").arg(left).arg(QFileInfo(card.path).fileName());
    if (!revealed_)
        text += QString::fromUtf8("（先听，想一想这一句说的是什么。按空格显示句子。）");
    else
        text += words.isEmpty() ? QString::fromUtf8("（这一句没有文字：这个文件没有带时间的文本。）") : words;
    w.textPane.text = text;
    w.textPane.highlightLine = -1;
    w.textPane.marks.clear();
    w.textPane.visible = true;
}

}  // namespace ostrelle
