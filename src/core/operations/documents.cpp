#include "core/operations/documents.h"

#include "core/formats/file_kinds.h"
#include "core/formats/settings_file.h"
#include "text/document_reader.h"
#include "text/plain_text_reader.h"
#include "text/timed_text.h"

#include <QDir>
#include <QFileInfo>

namespace ostrelle {
namespace {

constexpr int kDurationRetries = 5;

}  // namespace

std::optional<QString> FindFileIgnoringCase(const QString& path) {
    const QFileInfo info(path);
    if (info.isFile()) return path;
    const QDir folder = info.dir();
    const QString wanted = info.fileName();
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden)) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) return folder.filePath(name);
    }
    return std::nullopt;
}

void ClearTextPane(Window& window, PlayerState& state) {
    window.textPane.text.clear();
    window.textPane.highlightLine = -1;
    state.timedText = {};
    state.timedTextFile.clear();
    state.timedTextAligned = false;
    state.documentText.clear();
    window.textPane.marks.clear();
    window.followTextTimer.enabled = false;
    window.timedTextToSegmentsItem.enabled = false;
}

std::vector<PaneMark> UnplacedSentenceMarks(const PlayerState& state) {
    std::vector<PaneMark> marks;
    if (!state.timedTextAligned || state.timedTextRaw) return marks;
    const std::vector<TimedLine>& lines = state.timedText.lines;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        if (!lines[i].seconds && !lines[i].text.isEmpty())
            marks.push_back({i, 0, static_cast<int>(lines[i].text.size()), Rgb{150, 150, 150}, false});
    }
    return marks;
}

void Documents::ShowText(const QString& text) {
    ClearTextPane(window_, state_);
    window_.textPane.readOnly = true;
    window_.textPane.text = text;
    state_.documentText = text;
}

void Documents::ShowTimedText() {
    Window& w = window_;
    w.textPane.text = state_.timedTextRaw ? state_.timedTextFile : state_.timedText.ShownText();
    w.textPane.highlightLine = -1;
    w.textPane.marks = UnplacedSentenceMarks(state_);
    w.followTextTimer.enabled = !state_.timedTextRaw;
    w.timedTextToSegmentsItem.enabled = true;
}

void Documents::SetTimedTextRaw(bool raw) {
    state_.timedTextRaw = raw;
    window_.rawTimedTextItem.checked = raw;
    if (!state_.timedText.lines.empty()) ShowTimedText();
}

void Documents::LoadTimedText(const QString& path) {
    const TextReadResult text = ostrelle::LoadPlainText(path);
    ShowText(text.ok() ? text.value() : QString());
    if (!text.ok()) return;
    TimedText timed = ParseTimedText(text.value(), path);
    if (!timed.HasTimes()) return;
    state_.timedText = std::move(timed);
    state_.timedTextFile = text.value();
    ShowTimedText();
}

void Documents::ShowAlignedText(TimedText timed) {
    state_.timedText = std::move(timed);
    state_.timedTextFile = state_.documentText;
    state_.timedTextAligned = true;
    ShowTimedText();
}

void Documents::ChooseAndOpenFile() {
    const QString initial = ReadIniValue(QStringLiteral("Mp3PrePath"), QStringLiteral("Path"), settingsFile_);
    const QString audio = FilterPatterns(FileKind::kAudio);
    const std::vector<FileChoice> chosen = dialogs_.OpenFiles(
        QString::fromUtf8("所有音频(%1)|%1|").arg(audio) +
            QString::fromUtf8(
                "MP3文件(*.mp3)|*.mp3|WMA文件(*.wma)|*.wma|文本文档(*.txt)|*.txt|RTF文档(*.rtf)|*.rtf|"
                "word文档(*.doc)|*.doc|word文档(*.docx)|*.docx|所有文件(*.*)|*.*"),
        initial);
    // A cancelled dialog opens nothing, not the file opened last time.
    if (chosen.empty()) return;
    if (chosen.size() == 1 || !hooks_.openFiles) {
        OpenChosenFile(chosen.front().fileName, chosen.front().fileTitle);
        return;
    }
    if (!chosen.front().fileName.contains(u'\n') && !chosen.front().fileName.contains(u'\r'))
        hooks_.writeSetting(QStringLiteral("Mp3PrePath"), QStringLiteral("Path"), chosen.front().fileName);
    QStringList paths;
    for (const FileChoice& choice : chosen)
        paths << choice.fileName;
    hooks_.openFiles(paths);
}

void Documents::OpenChosenFile(const QString& path, const QString& title) {
    // The folder last opened from is a convenience: one whose path cannot be kept is not.
    if (!path.contains(u'\n') && !path.contains(u'\r'))
        hooks_.writeSetting(QStringLiteral("Mp3PrePath"), QStringLiteral("Path"), path);
    state_.currentAudioPath = path;
    window_.showTextBox.value = 1;
    ApplyTextShown();
    switch (KindOfFile(title)) {
        case FileKind::kTimedText:
            LoadTimedText(path);
            break;
        case FileKind::kPlainText:
            LoadPlainText(path);
            break;
        case FileKind::kDocument:
            ShowText(QString());
            LoadTextDocument(path, true);
            break;
        case FileKind::kAudio: {
            state_.currentListRow = hooks_.countPlaylistRows() + 1;
            StartAudioFile(path);
            // Its stored segments become current, as when it is started from the list.
            const int listed = hooks_.findPlaylistRow(path);
            hooks_.loadFileSegments(path, listed > 0 ? listed : state_.currentListRow);
            break;
        }
        case FileKind::kPlaylist:
        case FileKind::kUnknown:
            break;
    }
}

void Documents::StartAudioFile(const QString& path) {
    Window& w = window_;
    EnablePair(w.saveListButton, w.saveListItem, true);
    state_.markingOff = false;
    if (player_.Url() != path && !player_.Url().isEmpty() && player_.ErrorText().isEmpty() &&
        player_.Duration() > 0) {
        const int segment = state_.abIndex && !state_.looseSegment ? *state_.abIndex : -1;
        state_.lessonBefore = {player_.Url(), player_.CurrentPosition(), segment};
    }
    player_.SetUrl(path);
    player_.Play();
    // Measured while the file opens, so the first listing tick finds the length.
    if (hooks_.measureLength) hooks_.measureLength(path);
    w.listingTimer = {true, kListingIntervalMs};
    w.sequentialPlayTimer = {true, kListingIntervalMs};
    state_.durationRetries = kDurationRetries;
    LoadCompanionText(path);
    for (int i = 0; i < 2; ++i)
        w.markFlags[i].visible = w.markCaptionBoxes[i].visible = false;
}

void Documents::LoadCompanionText(const QString& audioPath) {
    const QString base = PathWithoutSuffix(audioPath);
    // A file without a text of its own shows none, rather than the previous lesson's.
    ShowText(QString());
    for (const QString& suffix : CompanionTextSuffixes()) {
        const std::optional<QString> found = FindFileIgnoringCase(base + suffix);
        if (!found) continue;
        switch (KindOfFile(*found)) {
            case FileKind::kTimedText:
                LoadTimedText(*found);
                break;
            case FileKind::kPlainText:
                LoadPlainText(*found);
                break;
            default:
                LoadTextDocument(*found);
                break;
        }
    }
}

void Documents::LoadPlainText(const QString& path) {
    const TextReadResult text = ostrelle::LoadPlainText(path);
    ShowText(text.ok() ? text.value() : QString());
}

void Documents::LoadTextDocument(const QString& path, bool tellErrors) {
    if (path.isEmpty()) return;
    // The kind is the extension, in any letter case (a folder named "x.doc" says nothing of the file).
    const FileKind kind = KindOfFile(path);
    if (kind != FileKind::kDocument && kind != FileKind::kPlainText) return;
    // Word documents, not rich text, say when they are missing.
    const bool word = kind == FileKind::kDocument &&
                      FileSuffix(path).compare(QStringLiteral("rtf"), Qt::CaseInsensitive) != 0;
    if (word && !QFileInfo::exists(path)) {
        dialogs_.ShowMessage(QString::fromUtf8("没有该文件"), MessageTitle(), MessageKind::Error);
        return;
    }
    // The content decides how a document is read, as for ostrelle-text: an RTF named .doc reads as RTF.
    const TextReadResult result = LoadDocumentText(path);
    ShowText(result.ok() ? result.value() : QString());
    if (!result.ok() && tellErrors)
        dialogs_.ShowMessage(FailureMessage(QString::fromUtf8("无法读取文档。"), result.failure()),
                             MessageTitle(), MessageKind::Error);
}

void Documents::ApplyTextShown() {
    window_.textPane.visible = window_.showTextBox.value == 1;
}

}  // namespace ostrelle
