#include "core/operations/sentence_split.h"

namespace ostrelle {

namespace {

const QString kSplitCaption = QString::fromUtf8("自动断句");
const QString kStopSplitCaption = QString::fromUtf8("停止自动断句");

}  // namespace

SentenceSplit::SentenceSplit(Window& window, const PlayerState& state, MediaPlayer& player, Dialogs& dialogs,
                             SentenceAnalyzer* sentences, SegmentEditor& editor)
    : window_(window),
      state_(state),
      player_(player),
      dialogs_(dialogs),
      sentences_(sentences),
      editor_(editor) {
    window_.autoSplitItem.enabled = sentences_ != nullptr;
}

void SentenceSplit::Run(Command) {
    if (!sentences_) return;
    if (sentences_->Running()) {
        Stop();
        return;
    }
    const QString path = player_.Url();
    if (path.isEmpty()) return;
    if (!player_.ErrorText().isEmpty()) {
        dialogs_.ShowMessage(FailureMessage(QString::fromUtf8("自动断句没有完成。"),
                                            {FailureCode::NotAudio, player_.ErrorText()}),
                             MessageTitle(), MessageKind::Warning);
        return;
    }
    // Nothing found could be kept: the learner hears so now, not after the whole file is analysed.
    if (state_.abListPath == path && static_cast<int>(state_.abList.size()) >= kSegmentSlots) {
        dialogs_.ShowMessage(
            QString::fromUtf8("复读段已满（%1 个），请先删除一些复读段再自动断句。").arg(kSegmentSlots),
            MessageTitle(), MessageKind::Warning);
        return;
    }
    sentences_->Analyze(path, player_.CurrentPosition());
    window_.autoSplitItem.caption = kStopSplitCaption;
    window_.splitProgress = {true, 0, kSplitCaption, window_.autoSplitItem.shortcut};
}

void SentenceSplit::LessonChanged(const QString& path) {
    if (sentences_ && sentences_->Running() && sentences_->Path() != path) Stop();
}

void SentenceSplit::Stop() {
    if (sentences_) sentences_->Cancel();
    window_.autoSplitItem.caption = kSplitCaption;
    if (window_.splitProgress.task == kSplitCaption) window_.splitProgress = {};
}

void SentenceSplit::ShowProgress() {
    // Stopped meanwhile.
    if (!sentences_ || !window_.splitProgress.shown || window_.splitProgress.task != kSplitCaption) return;
    if (sentences_->Running()) {
        window_.splitProgress.percent = static_cast<int>(sentences_->Progress() * 100);
        return;
    }
    const std::optional<Failure> problem = sentences_->Problem();
    std::vector<std::pair<double, double>> spans;
    for (const Sentence& sentence : sentences_->Result())
        spans.emplace_back(sentence.start, sentence.end);
    const bool current = sentences_->Path() == player_.Url();
    Stop();
    if (!current) return;
    if (problem) {
        dialogs_.ShowMessage(FailureMessage(QString::fromUtf8("自动断句没有完成。"), *problem),
                             MessageTitle(), MessageKind::Warning);
    } else if (spans.empty()) {
        dialogs_.ShowMessage(QString::fromUtf8("从当前位置起没有找到句子。"), MessageTitle(),
                             MessageKind::Information);
    } else {
        editor_.AddSegments(spans);
    }
}

}  // namespace ostrelle
