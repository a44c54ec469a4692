#include "core/operations/controller.h"

#include "core/formats/atomic_file.h"
#include "core/formats/settings_file.h"
#include "core/formats/time_values.h"
#include "text/plain_text_reader.h"

#include <QFileInfo>

#include <utility>

namespace ostrelle {
namespace {

constexpr int kTextPaneFontPt = 17;
constexpr int kStartVolume = 68;

// A stored whole number, or nothing for a text that is not one.
std::optional<int> WholeNumber(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

}  // namespace

Controller::Controller(const Adapters& adapters, ProgramFolder folder)
    : adapters_(adapters),
      folder_(std::move(folder)),
      display_(window_, state_, adapters.player),
      store_(adapters.database),
      lengths_(adapters.meter, adapters.lengthStore),
      speed_(window_, adapters.player,
             [this](const QString& key, const QString& value) {
                 WriteSettings({{QString::fromLatin1(SpeedControl::kSection), key, value}});
             }),
      repeat_(window_, state_, adapters.player, speed_),
      editor_(
          window_, state_, adapters.player, store_, repeat_, adapters.dialogs,
          {.segmentsChanged = [this](const QString& path) { ForgetDeletedTakes(path); },
           .segmentMoved = [this](const QString& path, std::pair<qint64, qint64> from,
                                  std::pair<qint64, qint64> to) { review_.SegmentMoved(path, from, to); }}),
      documents_(window_, state_, adapters.player, adapters.dialogs, folder_.SettingsFile(),
                 {.writeSetting =
                      [this](const QString& section, const QString& key, const QString& value) {
                          WriteSettings({{section, key, value}});
                      },
                  .countPlaylistRows = [this] { return playlist_.CountPlaylistRows(); },
                  .findPlaylistRow = [this](const QString& path) { return playlist_.FindPlaylistRow(path); },
                  .loadFileSegments = [this](const QString& path, int row) { LoadFileSegments(path, row); },
                  .measureLength = [this](const QString& path) { (void)lengths_.Of(path); },
                  .openFiles = [this](const QStringList& paths) { fileOpening_.Open(paths); }}),
      transport_(
          window_, state_, adapters.player, repeat_, editor_,
          [this](const QString& path) { documents_.LoadCompanionText(path); },
          [this](const QString& section, const QString& key, const QString& value) {
              WriteSettings({{section, key, value}});
          }),
      playlist_(
          window_, state_, adapters.player, adapters.dialogs, lengths_, adapters.database,
          {.startAudioFile = [this](const QString& path) { documents_.StartAudioFile(path); },
           .loadFileSegments = [this](const QString& path, int row) { LoadFileSegments(path, row); },
           .returnToLesson = [this](const PlayerState::LessonLeft& lesson) { ReturnToLesson(lesson); }}),
      playlistFiles_(window_, state_, adapters.player, adapters.dialogs, lengths_, adapters.database,
                     playlist_),
      recorder_(window_, adapters.player, adapters.waveDevice, adapters.dialogs, folder_.RecordingFile()),
      shadowing_(window_, state_, adapters.player, adapters.waveDevice, adapters.dialogs, repeat_, speed_,
                 recorder_, folder_.dataDir + QStringLiteral("/takes"),
                 [this](const QString& lesson, const ABPair& segment, const QString& take, bool fresh) {
                     if (fresh) diary_.TakeRecorded();
                     takeScoring_.Score(lesson, segment, take, fresh);
                 }),
      takeScoring_(
          window_, state_, adapters.takeScorer, adapters.takeScores,
          [this](const QString& text) { shadowing_.ShowScore(text); },
          [this](const QString& lesson, const ABPair& segment, int content) {
              review_.TakeScored(lesson, {segment.a.ms, segment.b.ms}, content);
          }),
      dictation_(window_, state_, adapters.player, adapters.dialogs, adapters.scores,
                 {.line = [this](int line) { timedText_.LoopLine(line); },
                  .segment =
                      [this](int segment) {
                          repeat_.GoToSegment(segment);
                          repeat_.PlayRepeat();
                      },
                  .checked =
                      [this](int percent, const QString& text) {
                          diary_.LineDictated();
                          review_.DictationChecked(percent, text);
                      }}),
      fileOpening_(window_, adapters.dialogs, documents_, playlist_, playlistFiles_),
      sentenceSplit_(window_, state_, adapters.player, adapters.dialogs, adapters.sentences, editor_),
      alignedText_(window_, state_, adapters.player, adapters.dialogs, adapters.aligner, documents_,
                   folder_.dataDir + QStringLiteral("/alignments")),
      timedText_(window_, state_, adapters.player, repeat_, editor_, documents_,
                 {.writeSetting =
                      [this](const QString& section, const QString& key, const QString& value) {
                          WriteSettings({{section, key, value}});
                      },
                  .textChanged = [this] { dictation_.TextChanged(); }}),
      waveform_(window_,
                [this](const QString& section, const QString& key, const QString& value) {
                    WriteSettings({{section, key, value}});
                }),
      diary_(adapters.practice, [] { return QDate::currentDate(); }),
      review_(window_, state_, adapters.player, adapters.dialogs, repeat_, adapters.reviews,
              {.openLesson = [this](const QString& path) { return OpenLesson(path); },
               .restoreText =
                   [this] {
                       documents_.LoadCompanionText(adapters_.player.Url());
                       documents_.ApplyTextShown();
                   },
               .note = [this](const QString& text) { fileOpening_.ShowNote(text); },
               .graded = [this] { diary_.SentenceReviewed(); },
               .nowMs = adapters.nowMs}),
      deckExport_(state_, adapters.player, adapters.dialogs, store_,
                  {adapters.reviews, adapters.clipCutter, adapters.deckWriter}, adapters.nowMs,
                  [this](const QString& lesson) {
                      return LessonTimedText(lesson, folder_.dataDir + QStringLiteral("/alignments"));
                  }) {
    repeat_.SetPassHandler([this] { diary_.PassPlayed(); });
    adapters.waveDevice.SetDoneHandler([this] {
        Deliver([this] {
            if (shadowing_.Active())
                shadowing_.DeviceDone();
            else
                recorder_.RecordingDone();
        });
    });
    if (adapters.sentences)
        adapters.sentences->SetUpdateHandler([this] { Deliver([this] { sentenceSplit_.ShowProgress(); }); });
    if (adapters.aligner)
        adapters.aligner->SetUpdateHandler([this] { Deliver([this] { alignedText_.ShowProgress(); }); });
    if (adapters.takeScorer)
        adapters.takeScorer->SetUpdateHandler([this] { Deliver([this] { takeScoring_.ScoreReady(); }); });
    // Dictation before the repeat engine: while on, the steps are its own.
    features_ = {&documents_, &playlist_, &playlistFiles_, &recorder_, &dictation_, &repeat_, &editor_,
                 &transport_, &speed_, &waveform_, &shadowing_, &takeScoring_, &sentenceSplit_, &alignedText_,
                 &timedText_,
                 // Last: while it runs, the text pane is the review's.
                 &review_, &deckExport_};
}

void Controller::PlayTakeFlag(int flag) {
    const std::vector<Window::WaveformStrip::Flag>& flags = window_.waveform.flags;
    if (flag < 0 || flag >= static_cast<int>(flags.size())) return;
    const Window::WaveformStrip::Flag& stretch = flags[flag];
    shadowing_.ReplayPart(stretch.from, stretch.to, stretch.takeFrom, stretch.takeTo);
}

bool Controller::Handle(const std::function<void()>& operation) {
    if (busy_) return false;
    busy_ = true;
    operation();
    busy_ = false;
    if (render_) render_();
    while (!pendingEvents_.empty() && !busy_) {
        const std::function<void()> event = pendingEvents_.front();
        pendingEvents_.erase(pendingEvents_.begin());
        Handle(event);
    }
    return true;
}

void Controller::Deliver(const std::function<void()>& event) {
    if (busy_)
        pendingEvents_.push_back(event);
    else
        Handle(event);
}

bool Controller::CanSkip(int step) const {
    if (dictation_.On()) return dictation_.CanStep(step);
    if (!state_.abList.empty()) return repeat_.CanStep(step);
    return playlist_.ListedRowBeside(step) > 0;
}

void Controller::Skip(int step) {
    if (!CanSkip(step)) return;
    if (state_.abList.empty()) {
        playlist_.PlayEntryBeside(step);
        return;
    }
    Run(step > 0 ? Command::NextSegment : Command::PreviousSegment);
    // A desktop's next means the next sentence: Play goes on from there, not from the one left.
    const ABPair* segment = state_.RepeatedSegment();
    if (!dictation_.On() && segment) adapters_.player.SetCurrentPosition(segment->a.Seconds());
}

void Controller::Start() {
    Window& w = window_;
    MediaPlayer& player = adapters_.player;
    const QString ini = folder_.SettingsFile();

    w.recordingGroup.geometry = {120, 4800, 3375, 1215};
    w.repeatGroup.geometry.left = 120;
    w.repeatGroup.geometry.top = 6000;
    w.repeatGroup.geometry.height = 2895;
    w.playlistGroup.geometry.width = 3375;
    w.textPane.geometry = w.textBackdrop.geometry = {3600, 280, 10455, 7875};
    w.playerStrip = {3600, 8160, 10455, 735};
    w.title = QString::fromUtf8(kTitle) + u',' + QString::fromUtf8(kMakerCredit);
    state_.currentListRow = 1;
    player.SetVolume(kStartVolume);
    w.textPane.text.clear();
    w.textPane.background = {255, 255, 255};
    w.textPane.readOnly = true;
    EnablePair(w.deleteEntryButton, w.deleteEntryItem, false);
    SetupPlaylistGrid(w.playlistGrid);
    playlist_.LoadPlaylistGrid();
    w.playlistGrid.toolTip = QString::fromUtf8("双击表格列 可以打开MP3及文本");
    w.setAButton.toolTip = QString::fromUtf8("A段点设置");
    w.setBButton.toolTip = QString::fromUtf8("B段点设置");
    w.deleteSegmentButton.toolTip = QString::fromUtf8("删除当前显示的AB段点复读设置");
    w.deleteAllSegmentsButton.toolTip = QString::fromUtf8("删除当前播放的MP3所有AB段点复读位置");
    for (int i = 0; i < 2; ++i) {
        w.markFlags[i] = {{Window::kTrackLeftTwips, 7920, 570, 360}, false};
        w.markCaptionBoxes[i] = {{Window::kTrackLeftTwips, 7960, 585, 195}, false};
        w.markCaptions[i].geometry.left = 0;
        w.markCaptions[i].geometry.top = 0;
    }
    player.SetAutoStart(false);
    for (CheckBox* box : {&w.showTextBox, &w.cursorFollowsBox, &w.sequentialPlayBox})
        box->value = 1;
    w.firstEntryTimer.enabled = true;
    EnablePair(w.clearListButton, w.clearListItem, false);
    if (!w.playlistGrid.CellText(1, kFileNameColumn).isEmpty()) {
        EnablePair(w.clearListButton, w.clearListItem, true);
        EnablePair(w.deleteEntryButton, w.deleteEntryItem, true);
        playlist_.SelectPlaylistRow(state_.currentListRow);
    }
    for (int i = 0; i < 6; ++i) {
        w.repeatCountBox.items << QString::number(i + 1) + QString::fromUtf8("次");
        w.pauseBox.items << QString::number(i) + QString::fromUtf8("秒");
        w.fontSizeBox.items << QString::number(i + 8);
    }
    w.pauseBox.items << QString::fromUtf8(kPauseBySegment) << QString::fromUtf8(kPauseBySegmentAndHalf);
    RestoreRepeatSettings();
    RestorePauseChoice();
    transport_.Restore(ini);
    waveform_.Restore(ini);
    speed_.Restore(ini);
    timedText_.Restore(ini);

    // From here on each step stands alone.
    w.textPane.fontSizePt = kTextPaneFontPt;
    recorder_.DiscardUnfinishedRecordings();
    RemoveStaleTemporaries(ini);
    if (!ReadIniSwitch(QStringLiteral("Fist"), QStringLiteral("run"), ini))
        documents_.OpenChosenFile(folder_.IntroductionFile(), QStringLiteral(".mp3"));
    WriteSettings({{QStringLiteral("Fist"), QStringLiteral("run"), QStringLiteral("1")}});
}

void Controller::WriteSettings(const std::vector<std::array<QString, 3>>& sectionKeyValues) {
    std::optional<Failure> failed;
    for (const auto& [section, key, value] : sectionKeyValues) {
        const Result<void> written = WriteIniValue(section, key, value, folder_.SettingsFile());
        if (!written.ok() && !failed) failed = written.failure();
    }
    // Told once: a settings file that stays unwritable would otherwise interrupt every pick.
    if (failed && !settingsFailureTold_)
        adapters_.dialogs.ShowMessage(FailureMessage(QString::fromUtf8("设置没有保存。"), *failed),
                                      MessageTitle(), MessageKind::Error);
    settingsFailureTold_ = failed.has_value();
}

void Controller::RestoreRepeatSettings() {
    Window& w = window_;
    // Until a setting is stored, a run plays once without a pause; the font size box is not used.
    w.repeatCountBox.text = w.repeatCountBox.items.front();
    w.pauseBox.text = w.pauseBox.items.front();
    w.fontSizeBox.text = w.fontSizeBox.items.front();
    w.fontSizeBox.visible = false;
    w.fontSizeLabel.visible = false;
    const QString ini = folder_.SettingsFile();
    if (!QFileInfo::exists(ini)) return;
    const std::optional<int> count =
        WholeNumber(ReadIniValue(QStringLiteral("comb"), QStringLiteral("0"), ini));
    if (count && *count >= 1 && *count <= w.repeatCountBox.items.size())
        w.repeatCountBox.text = w.repeatCountBox.items[*count - 1];
    const std::optional<int> pause =
        WholeNumber(ReadIniValue(QStringLiteral("comb"), QStringLiteral("1"), ini));
    if (pause && *pause >= 0 && *pause < w.pauseBox.items.size()) w.pauseBox.text = w.pauseBox.items[*pause];
}

void Controller::Run(Command command) {
    // Anything else the learner does ends a shadowing run first: the player and the device are its.
    const bool keepsShadowing = command == Command::Shadowing || PresetSpeed(command) ||
                                command == Command::Slower || command == Command::Faster ||
                                command == Command::NormalSpeed || command == Command::ToggleWaveform ||
                                command == Command::ToggleWaveformZoom || command == Command::ShowUsage ||
                                command == Command::ToggleRawTimedText;
    if (shadowing_.Active() && !keepsShadowing) shadowing_.Stop();
    for (Feature* feature : features_) {
        if (!feature->Owns(command)) continue;
        feature->Run(command);
        return;
    }
    switch (command) {
        case Command::Exit:
            if (close_) close_();
            break;
        case Command::ShowUsage:
            if (showUsage_) showUsage_(UsageInstructions());
            break;
        case Command::PracticeRecord:
            if (showPractice_) showPractice_(diary_.Summary());
            break;
        default:
            break;
    }
}

namespace {

// The lesson the learner left, in a section of its own.
const QString kResumeSection = QStringLiteral("Resume");
const QString kResumeFile = QStringLiteral("File");
const QString kResumePosition = QStringLiteral("Position");
const QString kResumeSegment = QStringLiteral("Segment");

}  // namespace

void Controller::LoadFirstEntry() {
    LoadResumeEntry();
    review_.TellDue();
    if (!startFiles_.isEmpty()) fileOpening_.Open(std::exchange(startFiles_, {}));
}

void Controller::LoadResumeEntry() {
    const QString ini = folder_.SettingsFile();
    const QString path = ReadIniValue(kResumeSection, kResumeFile, ini);
    const int row = path.isEmpty() ? 0 : playlist_.FindPlaylistRow(path);
    if (row <= 0) {
        transport_.LoadFirstEntry();
        return;
    }
    LoadListedLesson(row);
    bool ok = false;
    const int segment = ReadIniValue(kResumeSection, kResumeSegment, ini).toInt(&ok);
    if (ok && segment >= 1) repeat_.GoToSegment(segment - 1);
    const double seconds = ReadIniValue(kResumeSection, kResumePosition, ini).toDouble(&ok);
    if (ok && seconds > 0) adapters_.player.SetCurrentPosition(seconds);
}

void Controller::LoadListedLesson(int row) {
    state_.currentListRow = row;
    playlist_.SelectPlaylistRow(row);
    transport_.LoadFirstEntry(row);
}

void Controller::ReturnToLesson(const PlayerState::LessonLeft& lesson) {
    const int row = playlist_.FindPlaylistRow(lesson.path);
    if (row <= 0 || !QFileInfo(lesson.path).isFile()) return;
    LoadListedLesson(row);
    if (lesson.segment >= 0) repeat_.GoToSegment(lesson.segment);
    adapters_.player.SetCurrentPosition(lesson.seconds);
}

void Controller::SaveResumePoint() {
    diary_.Flush();
    const QString path = adapters_.player.Url();
    if (path.isEmpty() || path != state_.currentAudioPath || playlist_.FindPlaylistRow(path) <= 0) return;
    // A path with a line break cannot be kept in a settings line: that lesson is not returned to.
    if (path.contains(u'\n') || path.contains(u'\r')) return;
    const int segment = state_.abIndex && !state_.looseSegment ? *state_.abIndex + 1 : 0;
    WriteSettings(
        {{kResumeSection, kResumeFile, path},
         {kResumeSection, kResumePosition, QString::number(adapters_.player.CurrentPosition(), 'f', 3)},
         {kResumeSection, kResumeSegment, QString::number(segment)}});
}

void Controller::ShowPosition() {
    transport_.ShowPosition();
    if (adapters_.player.PlayState() == kPlayStatePlaying) diary_.Played(window_.positionTimer.intervalMs);
    window_.positionLabel.caption += SpeedText(speed_.Asked(), adapters_.player.Rate());
    const QString problem = adapters_.player.OutputProblem();
    if (problem.isEmpty() || silentOutputTold_) return;
    silentOutputTold_ = true;
    // The sound server's own words (English, about sockets) say nothing to the learner.
    adapters_.dialogs.ShowMessage(FailureMessage({FailureCode::NoOutputDevice, {}}), MessageTitle(),
                                  MessageKind::Warning);
}

void Controller::ForgetDeletedTakes(const QString& path) {
    // Only what the store really holds now counts: a failed delete keeps its take.
    const Result<LoadedSegments> kept = store_.LoadABList(path);
    if (!kept.ok()) return;
    shadowing_.ForgetTakesNotIn(path, kept.value().list);
    std::vector<std::pair<qint64, qint64>> spans;
    for (const ABPair& pair : kept.value().list)
        if (!pair.blank) spans.emplace_back(pair.a.ms, pair.b.ms);
    review_.SegmentsChanged(path, spans);
}

void Controller::LoadFileSegments(const QString& path, int row) {
    for (Feature* feature : features_)
        feature->LessonChanged(path);
    transport_.LoadFileSegments(path, row);
}

void Controller::UpdateDerivedStates() {
    display_.Present();
    for (Feature* feature : features_)
        feature->Present();
}

QString Controller::UsageInstructions() const {
    const TextReadResult text = LoadPlainText(folder_.installDir + QStringLiteral("/introduce.txt"));
    return text.ok() && !text.value().trimmed().isEmpty() ? text.value() : window_.usageLabel.caption;
}

namespace {

// A pause by the sentence's length is kept in a section of its own: the old key holds whole seconds only.
const QString kPauseKey = QStringLiteral("Pause");

}  // namespace

void Controller::StoreRepeatChoices() {
    const std::optional<double> byLength = PauseBySegmentLength(window_.pauseBox.text);
    const QString drill = QString::fromLatin1(Transport::kDrillSection);
    if (byLength) {
        WriteSettings({{QStringLiteral("comb"), QStringLiteral("0"), window_.repeatCountBox.text.left(1)},
                       {drill, kPauseKey, QString::number(*byLength)}});
        return;
    }
    std::vector<std::array<QString, 3>> writes = {
        {QStringLiteral("comb"), QStringLiteral("0"), window_.repeatCountBox.text.left(1)},
        {QStringLiteral("comb"), QStringLiteral("1"), window_.pauseBox.text.left(1)}};
    if (!ReadIniValue(drill, kPauseKey, folder_.SettingsFile()).isEmpty())
        writes.push_back({drill, kPauseKey, {}});
    WriteSettings(writes);
}

void Controller::RestorePauseChoice() {
    const QString factor =
        ReadIniValue(QString::fromLatin1(Transport::kDrillSection), kPauseKey, folder_.SettingsFile());
    for (const QString& item : window_.pauseBox.items) {
        const std::optional<double> byLength = PauseBySegmentLength(item);
        if (byLength && !factor.isEmpty() && QString::number(*byLength) == factor.trimmed())
            window_.pauseBox.text = item;
    }
}

bool Controller::OpenLesson(const QString& path) {
    if (!QFileInfo(path).isFile()) return false;
    const int row = playlist_.FindPlaylistRow(path);
    if (row > 0) {
        LoadListedLesson(row);
    } else {
        // A lesson no longer listed still has its sentences in the book.
        state_.markingOff = false;
        state_.currentAudioPath = path;
        documents_.LoadCompanionText(path);
        adapters_.player.SetUrl(path);
        LoadFileSegments(path, 0);
    }
    return adapters_.player.Url() == path && adapters_.player.ErrorText().isEmpty();
}

}  // namespace ostrelle
