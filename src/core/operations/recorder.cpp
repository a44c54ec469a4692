#include "core/operations/recorder.h"

#include "core/formats/atomic_file.h"
#include "core/formats/file_claim.h"
#include "core/formats/time_values.h"

#include <QDir>
#include <QFileInfo>

namespace ostrelle {
namespace {

const QString kRecordCaption = QString::fromUtf8("开始录音");
const QString kStopRecordCaption = QString::fromUtf8("停止录音");
const QString kPlayCaption = QString::fromUtf8("播放录音");
const QString kStopPlayCaption = QString::fromUtf8("停止播放");
const QString kGroupCaption = QString::fromUtf8("录音");
constexpr int kTickMs = 10;

QString Seconds(qint64 ms) {
    return FormatSeconds(static_cast<double>(ms < 0 ? 0 : ms / 1000));
}

}  // namespace

Recorder::Recorder(Window& window, MediaPlayer& player, WaveDevice& device, Dialogs& dialogs,
                   QString recordingPath)
    : window_(window),
      player_(player),
      device_(device),
      dialogs_(dialogs),
      recordingPath_(std::move(recordingPath)) {}

bool Recorder::RecordingExists() const {
    if (!exists_) exists_ = QFileInfo(recordingPath_).isFile();
    return *exists_;
}

void Recorder::Present() {
    Window& w = window_;
    w.recordButton.caption = w.recordItem.caption =
        phase_ == Phase::kRecording ? kStopRecordCaption : kRecordCaption;
    w.playRecordingButton.caption = w.playRecordingItem.caption =
        phase_ == Phase::kPlaying ? kStopPlayCaption : kPlayCaption;
    const bool kept = phase_ != Phase::kRecording && RecordingExists();
    EnablePair(w.recordButton, w.recordItem, !lent_ && phase_ != Phase::kPlaying);
    EnablePair(w.playRecordingButton, w.playRecordingItem,
               !lent_ && (phase_ == Phase::kPlaying || (phase_ == Phase::kIdle && kept)));
    EnablePair(w.saveRecordingButton, w.saveRecordingItem, kept);
    w.recorderClockTimer = {phase_ != Phase::kIdle, kTickMs};
    if (phase_ == Phase::kIdle) w.recordingGroup.caption = kGroupCaption;
}

void Recorder::Run(Command command) {
    if (command == Command::Record) ToggleRecording();
    if (command == Command::PlayRecording) PlayRecording();
    if (command == Command::SaveRecording) SaveRecording();
}

void Recorder::Tell(const QString& whatFailed, const Failure& failure) {
    dialogs_.ShowMessage(FailureMessage(whatFailed, failure), QStringLiteral("Ostrelle"), MessageKind::Error);
}

void Recorder::ToggleRecording() {
    exists_.reset();
    if (phase_ != Phase::kRecording) {
        // The earlier recording stays until the new one is saved over it.
        Result<void> started = device_.Open(recordingPath_);
        if (started.ok()) started = device_.StartRecording();
        if (!started.ok()) {
            device_.Close();
            Tell(QString::fromUtf8("无法开始录音。"), started.failure());
            return;
        }
        phase_ = Phase::kRecording;
        return;
    }
    phase_ = Phase::kIdle;
    const Result<void> saved = device_.Save();
    if (!saved.ok()) Tell(QString::fromUtf8("录音没有保存。"), saved.failure());
}

void Recorder::PlayRecording() {
    exists_.reset();
    player_.Pause();
    if (phase_ != Phase::kPlaying) {
        Result<void> playing = Failure{FailureCode::CannotRead, recordingPath_};
        if (RecordingExists()) {
            playing = device_.Open(recordingPath_);
            if (playing.ok()) playing = device_.Play();
        }
        if (!playing.ok()) {
            // Nothing plays, so no completion will come: the recorder stays idle.
            Tell(QString::fromUtf8("无法播放录音。"), playing.failure());
            return;
        }
        phase_ = Phase::kPlaying;
        window_.recordingGroup.caption = QString::fromUtf8("录音  正在播放录音") + QStringLiteral(" -- ( ") +
                                         Seconds(device_.LengthMs()) + QStringLiteral(" )");
        return;
    }
    phase_ = Phase::kIdle;
    (void)device_.Stop();  // the completion it raises finds the recorder idle already
}

void Recorder::RecordingDone() {
    exists_.reset();
    phase_ = Phase::kIdle;
    (void)device_.Stop();  // playback is over already; nothing is left to report
}

void Recorder::ShowRecordingTime() {
    Window& w = window_;
    const qint64 length = device_.LengthMs();
    switch (phase_) {
        case Phase::kRecording:
            w.recordingGroup.caption = QString::fromUtf8("录音  正在录音") + QStringLiteral(" -- ( ") +
                                       Seconds(length) + QStringLiteral(" )");
            break;
        case Phase::kPlaying:
            w.recordingGroup.caption = QString::fromUtf8("录音  正在播放录音") + QStringLiteral(" -- ( -") +
                                       Seconds(length - device_.PositionMs()) + QStringLiteral(" )");
            break;
        case Phase::kIdle:
            w.recordingGroup.caption = kGroupCaption;  // a last tick queued behind the end
            break;
    }
}

void Recorder::DiscardUnfinishedRecordings() const {
    const QFileInfo recording(recordingPath_);
    QDir folder = recording.dir();
    for (const QString& name :
         folder.entryList({recording.fileName() + QStringLiteral(".part-*")}, QDir::Files)) {
        // A part another running copy still records into is claimed by it.
        FileClaim unowned = FileClaim::Take(folder.filePath(name));
        if (unowned.Held()) folder.remove(name);
    }
}

void Recorder::SaveRecording() {
    const FileChoice choice = dialogs_.SaveFile(QString::fromUtf8("声音文件(*.wav)|*.wav "), QString());
    if (choice.fileName.trimmed().isEmpty()) return;
    const Result<void> copied = CopyFileAtomically(recordingPath_, choice.fileName);
    if (!copied.ok()) Tell(QString::fromUtf8("录音没有另存。"), copied.failure());
}

}  // namespace ostrelle
