#include "core/operations/aligned_text.h"

#include "core/analysis/text_language.h"
#include "core/analysis/text_sentences.h"
#include "core/formats/atomic_file.h"
#include "core/formats/file_kinds.h"
#include "core/formats/waveform_cache.h"
#include "text/document_reader.h"
#include "text/plain_text_reader.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace ostrelle {
namespace {

const QString kAlignCaption = QString::fromUtf8("文本对齐");
const QString kStopAlignCaption = QString::fromUtf8("停止文本对齐");

}  // namespace

AlignedText::AlignedText(Window& window, const PlayerState& state, MediaPlayer& player, Dialogs& dialogs,
                         TextAligner* aligner, Documents& documents, QString cacheDir)
    : window_(window),
      state_(state),
      player_(player),
      dialogs_(dialogs),
      aligner_(aligner),
      documents_(documents),
      cacheDir_(std::move(cacheDir)) {}

std::pair<QString, QString> AlignedText::CacheFile(const QString& path, const QString& text) const {
    return AlignmentCacheFile(cacheDir_, path, text);
}

std::pair<QString, QString> AlignmentCacheFile(const QString& cacheDir, const QString& path,
                                               const QString& text) {
    const auto hash = [](const QByteArray& bytes) {
        return QString::fromLatin1(
            QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(16));
    };
    const Result<AudioFileIdentity> audio = IdentifyAudioFile(path);
    if (!audio.ok()) return {};
    const QString prefix = hash(path.toUtf8()) + u'-';
    // Another recording under the same name, or the text edited, is another alignment.
    const QByteArray key = QByteArray::number(audio.value().sizeBytes) + ' ' +
                           QByteArray::number(audio.value().modifiedMs) + ' ' + text.toUtf8();
    return {cacheDir + u'/' + prefix + hash(key) + QStringLiteral(".lrc"), prefix};
}

TimedText KeptAlignment(const QString& cacheDir, const QString& path, const QString& text) {
    const QString file = AlignmentCacheFile(cacheDir, path, text).first;
    if (file.isEmpty()) return {};
    QFile kept(file);
    if (!kept.open(QIODevice::ReadOnly)) return {};
    TimedText timed = ParseLrc(QString::fromUtf8(kept.readAll()));
    return timed.HasTimes() ? timed : TimedText{};
}

TimedText LessonTimedText(const QString& audioPath, const QString& cacheDir) {
    // As the text pane loads them: the last companion found wins.
    TimedText timed;
    QString document;
    for (const QString& suffix : CompanionTextSuffixes()) {
        const std::optional<QString> found = FindFileIgnoringCase(PathWithoutSuffix(audioPath) + suffix);
        if (!found) continue;
        if (KindOfFile(*found) == FileKind::kTimedText) {
            const TextReadResult text = LoadPlainText(*found);
            timed = text.ok() ? ParseTimedText(text.value(), *found) : TimedText{};
            document.clear();
        } else {
            const TextReadResult text = LoadDocumentText(*found);
            document = text.ok() ? text.value() : QString();
            timed = {};
        }
    }
    if (!timed.HasTimes() && !document.trimmed().isEmpty())
        timed = KeptAlignment(cacheDir, audioPath, document);
    return timed;
}

void AlignedText::Keep(const QString& path, const QString& text, const TimedText& timed) {
    const auto [file, prefix] = CacheFile(path, text);
    if (file.isEmpty() || !QDir().mkpath(cacheDir_)) return;
    if (!WriteFileAtomically(file, LrcOf(timed).toUtf8()).ok()) return;  // only time is lost
    QDir folder(cacheDir_);
    for (const QString& name : folder.entryList({prefix + QStringLiteral("*.lrc")}, QDir::Files))
        if (folder.filePath(name) != file) folder.remove(name);
}

void AlignedText::Run(Command command) {
    if (command == Command::ExportLrc) {
        ExportLrc();
        return;
    }
    if (!aligner_) return;
    if (aligner_->Running()) {
        Stop();
        return;
    }
    const QString path = player_.Url();
    if (path.isEmpty()) return;
    if (!player_.ErrorText().isEmpty()) {
        dialogs_.ShowMessage(FailureMessage(QString::fromUtf8("文本对齐没有完成。"),
                                            {FailureCode::NotAudio, player_.ErrorText()}),
                             MessageTitle(), MessageKind::Warning);
        return;
    }
    if (state_.documentText.trimmed().isEmpty() || state_.timedText.HasTimes()) {
        dialogs_.ShowMessage(
            state_.timedText.HasTimes()
                ? QString::fromUtf8("这个文件的文本已经带有时间，不需要对齐。")
                : QString::fromUtf8(
                      "没有可以对齐的文本：请把和音频同名的 txt、rtf 或 word 文档放在同一目录下。"),
            MessageTitle(), MessageKind::Information);
        return;
    }
    sentences_.clear();
    QStringList texts;
    for (const TextSentence& sentence : SplitTextSentences(state_.documentText)) {
        sentences_.push_back(sentence.text);
        texts << sentence.text;
    }
    if (texts.isEmpty()) return;
    alignedText_ = state_.documentText;
    aligner_->Align(path, texts, GuessVoice(state_.documentText));
    window_.splitProgress = {true, 0, kAlignCaption, window_.alignTextItem.shortcut};
}

void AlignedText::LessonChanged(const QString& path) {
    if (aligner_ && aligner_->Running() && aligner_->Path() != path) Stop();
    if (state_.documentText.trimmed().isEmpty() || state_.timedText.HasTimes()) return;
    TimedText timed = KeptAlignment(cacheDir_, path, state_.documentText);
    if (timed.HasTimes()) documents_.ShowAlignedText(std::move(timed));
}

void AlignedText::Present() {
    window_.exportLrcItem.enabled = state_.timedText.HasTimes() && !player_.Url().isEmpty();
    window_.alignTextItem.enabled = aligner_ != nullptr;
    window_.alignTextItem.caption = aligner_ && aligner_->Running() ? kStopAlignCaption : kAlignCaption;
}

void AlignedText::ExportLrc() {
    const QString audio = player_.Url();
    if (!state_.timedText.HasTimes() || audio.isEmpty()) return;
    const QString path = PathWithoutSuffix(audio) + QStringLiteral("lrc");
    if (QFileInfo::exists(path) &&
        dialogs_.ShowMessage(QString::fromUtf8("%1 已经存在。\n要替换它吗？").arg(QFileInfo(path).fileName()),
                             MessageTitle(), MessageKind::Question) != MessageAnswer::Yes)
        return;
    const Result<void> written = WriteFileAtomically(path, "\xEF\xBB\xBF" + LrcOf(state_.timedText).toUtf8());
    if (!written.ok())
        dialogs_.ShowMessage(FailureMessage(QString::fromUtf8("LRC 没有导出。"), written.failure()),
                             MessageTitle(), MessageKind::Error);
}

QString AlignedText::LrcOf(const TimedText& timed) {
    // Each line with its time tag, to the hundredth as players read them; an untimed one as it is.
    QString lrc;
    for (const TimedLine& line : timed.lines) {
        if (line.seconds) {
            const long long centis = std::llround(*line.seconds * 100);
            lrc += QStringLiteral("[%1:%2.%3]")
                       .arg(centis / 6000, 2, 10, QChar(u'0'))
                       .arg(centis / 100 % 60, 2, 10, QChar(u'0'))
                       .arg(centis % 100, 2, 10, QChar(u'0'));
        }
        lrc += line.text + QStringLiteral("\r\n");
    }
    return lrc;
}

void AlignedText::Stop() {
    if (aligner_) aligner_->Cancel();
    if (window_.splitProgress.task == kAlignCaption) window_.splitProgress = {};
}

void AlignedText::ShowProgress() {
    // Stopped meanwhile.
    if (!aligner_ || !window_.splitProgress.shown || window_.splitProgress.task != kAlignCaption) return;
    if (aligner_->Running()) {
        window_.splitProgress.percent = static_cast<int>(aligner_->Progress() * 100);
        return;
    }
    const std::optional<Failure> problem = aligner_->Problem();
    const auto placed = aligner_->Result();
    const QString path = aligner_->Path();
    const bool current = path == player_.Url();
    Stop();
    if (!current) return;
    if (problem) {
        dialogs_.ShowMessage(FailureMessage(QString::fromUtf8("文本对齐没有完成。"), *problem),
                             MessageTitle(), MessageKind::Warning);
        return;
    }
    // Each placed sentence starts a line, and its end is a pause unless the next one starts there; one
    // that could not be placed follows the one before it, untimed.
    TimedText timed;
    int count = 0;
    for (std::size_t i = 0; i < sentences_.size() && i < placed.size(); ++i) {
        if (!placed[i]) {
            timed.lines.push_back({std::nullopt, sentences_[i]});
            continue;
        }
        ++count;
        timed.lines.push_back({placed[i]->start, sentences_[i]});
        const bool followed =
            i + 1 < placed.size() && placed[i + 1] && placed[i + 1]->start <= placed[i]->end;
        if (!followed) timed.lines.push_back({placed[i]->end, QString()});
    }
    if (count == 0) {
        dialogs_.ShowMessage(QString::fromUtf8("没有在音频里找到文本的句子。"), MessageTitle(),
                             MessageKind::Information);
        return;
    }
    Keep(path, alignedText_, timed);
    documents_.ShowAlignedText(std::move(timed));
    dialogs_.ShowMessage(
        QString::fromUtf8("文本对齐完成：%1 句中有 %2 句找到了位置。").arg(sentences_.size()).arg(count),
        MessageTitle(), MessageKind::Information);
}

}  // namespace ostrelle
