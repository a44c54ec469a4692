#include "core/operations/shadowing.h"

#include "core/formats/atomic_file.h"
#include "core/formats/segment_text.h"
#include "core/formats/time_values.h"
#include "core/formats/wav_part.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace ostrelle {
namespace {

constexpr int kTickMs = kRepeatTickMs;

QString TenthsOfSeconds(int ms) {
    return QString::number(ms / 1000.0, 'f', 1);
}

// A mark as part of a file name: 1.234 s → "00-01.234". Written from the number alone, so that nothing
// read from a list can lead the name out of its folder.
QString NamePart(const MarkTime& mark) {
    return WrittenMark(mark).replace(u':', u'-');
}

}  // namespace

QString Shadowing::TakesFolder(const QString& audioPath) const {
    const QByteArray hash = QCryptographicHash::hash(audioPath.toUtf8(), QCryptographicHash::Sha1).toHex();
    return takesDir_ + u'/' + QString::fromLatin1(hash.left(16));
}

QString Shadowing::TakePath(const QString& audioPath, const ABPair& segment) const {
    return TakesFolder(audioPath) + u'/' + NamePart(segment.a) + u'_' + NamePart(segment.b) +
           QStringLiteral(".wav");
}

void Shadowing::ForgetTakesNotIn(const QString& audioPath, const ABList& kept) {
    checkedTake_.clear();
    QDir folder(TakesFolder(audioPath));
    if (!folder.exists()) return;
    QStringList keep;
    for (const ABPair& pair : kept)
        keep << QFileInfo(TakePath(audioPath, pair)).fileName();
    for (const QString& name : folder.entryList(QDir::Files)) {
        if (!keep.contains(name)) folder.remove(name);
    }
    if (folder.isEmpty()) folder.removeRecursively();
}

bool Shadowing::SegmentReady() const {
    if (player_.Url().isEmpty() || !player_.ErrorText().isEmpty() || player_.Duration() <= 0) return false;
    const ABPair* segment = state_.RepeatedSegment();
    return segment && !state_.pendingA && segment->b.ms > segment->a.ms;
}

bool Shadowing::TakeKept() {
    if (!SegmentReady()) return false;
    const QString take = TakePath(player_.Url(), *state_.RepeatedSegment());
    if (take != checkedTake_) {
        checkedTake_ = take;
        takeKept_ = QFileInfo(take).isFile();
    }
    return takeKept_;
}

void Shadowing::UpdateStates() {
    const bool kept = TakeKept();
    window_.waveform.take = kept ? checkedTake_ : QString();
    window_.shadowingItem.enabled = SegmentReady() || Active();
    window_.shadowingItem.caption = QString::fromUtf8(Active() && recordPasses_ ? "停止跟读" : "跟读");
    window_.replayShadowingItem.enabled = kept && !Active();
    window_.playTakeItem.enabled = kept && !Active();
    window_.saveTakeItem.enabled = kept && !Active();
}

void Shadowing::ShowCue(const QString& text) {
    cue_ = text;
    const bool scored =
        !text.isEmpty() && !score_.isEmpty() && (phase_ == Phase::Take || phase_ == Phase::Pausing);
    window_.shadowCue.caption = scored ? text + QStringLiteral("    ") + score_ : text;
    window_.shadowCue.visible = !text.isEmpty();
}

void Shadowing::ShowScore(const QString& text) {
    score_ = text;
    if (Active()) ShowCue(cue_);
}

void Shadowing::TellTake(bool fresh) {
    score_.clear();
    if (takeReady_ && SegmentReady()) takeReady_(player_.Url(), *state_.RepeatedSegment(), take_, fresh);
}

void Shadowing::Toggle() {
    if (Active()) {
        Stop();
        return;
    }
    // The recorder's device is busy while the free recorder records or plays.
    if (!SegmentReady() || recorder_.Busy()) return;
    // The input runs through the whole run, so each take holds its window from the first instant; without
    // an input there is nothing to count down for.
    if (const Result<void> input = device_.OpenInput(); !input.ok()) {
        dialogs_.ShowMessage(
            FailureMessage(QString::fromUtf8("没有找到录音设备，无法跟读。"), input.failure()),
            MessageTitle(), MessageKind::Error);
        return;
    }
    pauseTicks_ = repeat_.PauseTicksSetting();
    StartRun(true, repeat_.RepeatCount());
    BeginPass();
}

void Shadowing::StartRun(bool recordPasses, int passes) {
    recordPasses_ = recordPasses;
    passes_ = passes;
    pass_ = 0;
    repeat_.StopRepeatRun({.pausePlayer = true, .captions = RunEnding::Captions::ButtonAndMenu});
    recorder_.Lend();
}

void Shadowing::ReplayWithOriginal() {
    if (Active() || !SegmentReady()) return;
    StartRun(false, 1);
    BeginPass();
}

void Shadowing::PlayTake() {
    if (Active() || !SegmentReady()) return;
    StartRun(false, 1);
    take_ = TakePath(player_.Url(), *state_.RepeatedSegment());
    TellTake(false);
    StartTakePlayback();
}

void Shadowing::BeginPass() {
    const ABPair* segment = state_.RepeatedSegment();
    if (!segment) {
        EndRun();
        return;
    }
    a_ = segment->a.Seconds();
    b_ = segment->b.Seconds();
    take_ = TakePath(player_.Url(), *segment);
    PlayOriginal(recordPasses_ ? QString::fromUtf8("听原音（第 %1/%2 遍）").arg(pass_ + 1).arg(passes_)
                               : QString::fromUtf8("听原音"));
}

void Shadowing::PlayOriginal(const QString& cue) {
    phase_ = Phase::Original;
    ticks_ = 0;
    window_.shadowTick = {true, kTickMs};
    speed_.StartPass(pass_, passes_);
    player_.SetStopPoint(b_);
    player_.SetCurrentPosition(a_);
    player_.Play();
    ShowCue(cue);
}

void Shadowing::ReplayPart(double from, double to, double takeFrom, double takeTo) {
    if (Active() || !SegmentReady() || to <= from) return;
    const QString take = TakePath(player_.Url(), *state_.RepeatedSegment());
    const QString part = takesDir_ + QStringLiteral("/part.wav");
    if (const Result<void> cut = WriteWavPart(take, takeFrom, takeTo, part); !cut.ok()) {
        dialogs_.ShowMessage(FailureMessage(QString::fromUtf8("无法播放跟读录音。"), cut.failure()),
                             MessageTitle(), MessageKind::Error);
        return;
    }
    StartRun(false, 1);
    partOnly_ = true;
    a_ = from;
    b_ = to;
    take_ = part;
    PlayOriginal(QString::fromUtf8("听原音"));
}

void Shadowing::Tick() {
    ++ticks_;
    switch (phase_) {
        case Phase::Idle:
        case Phase::Take:
            return;
        case Phase::Original:
            if (player_.CurrentPosition() < b_ - 0.0005) return;
            player_.Pause();
            if (recordPasses_) {
                StartRecording();
            } else {
                if (!partOnly_) TellTake(false);
                StartTakePlayback();
            }
            return;
        case Phase::Recording: {
            const int elapsed = ticks_ * kTickMs;
            ShowCue(QString::fromUtf8("请跟读  %1 / %2 秒")
                        .arg(TenthsOfSeconds(elapsed), TenthsOfSeconds(recordMs_)));
            if (elapsed < recordMs_) return;
            const Result<void> saved = device_.Save();
            if (!saved.ok()) {
                Fail(QString::fromUtf8("跟读没有保存。"), saved.failure());
                return;
            }
            checkedTake_.clear();  // shown while it plays back
            ++window_.waveform.takeVersion;
            TellTake(true);
            StartTakePlayback();
            return;
        }
        case Phase::Pausing:
            if (ticks_ < pauseTicks_) return;
            BeginPass();
            return;
    }
}

void Shadowing::StartRecording() {
    // Made before the device writes there: a folder that cannot be made fails as the recording would.
    QDir().mkpath(QFileInfo(take_).absolutePath());
    Result<void> started = device_.Open(take_);
    if (started.ok()) started = device_.StartRecording();
    if (!started.ok()) {
        Fail(QString::fromUtf8("无法开始跟读录音。"), started.failure());
        return;
    }
    const double rate = speed_.Asked() > 0 ? speed_.Asked() : 1.0;
    recordMs_ = static_cast<int>(std::lround((b_ - a_) / rate * 1000)) + kMarginMs;
    phase_ = Phase::Recording;
    ticks_ = 0;
    ShowCue(QString::fromUtf8("请跟读  0.0 / %1 秒").arg(TenthsOfSeconds(recordMs_)));
}

void Shadowing::StartTakePlayback() {
    Result<void> playing = device_.Open(take_);
    if (playing.ok()) playing = device_.Play();
    if (!playing.ok()) {
        Fail(QString::fromUtf8("无法播放跟读录音。"), playing.failure());
        return;
    }
    phase_ = Phase::Take;
    ticks_ = 0;
    window_.shadowTick = {true, kTickMs};
    ShowCue(QString::fromUtf8("听我的跟读"));
}

void Shadowing::DeviceDone() {
    if (phase_ != Phase::Take) return;
    device_.Close();
    if (++pass_ >= passes_) {
        EndRun();
        return;
    }
    phase_ = Phase::Pausing;
    ticks_ = 0;
    ShowCue(QString::fromUtf8("停顿"));
}

void Shadowing::Stop() {
    End(true);
}

void Shadowing::End(bool playerIsOurs) {
    const Phase was = phase_;
    phase_ = Phase::Idle;  // the device's completion of a stopped playback is not a pass
    if (playerIsOurs && (was == Phase::Original || was == Phase::Pausing)) player_.Pause();
    if (was == Phase::Recording || was == Phase::Take) {
        (void)device_.Stop();
        device_.Close();  // a take not saved is discarded; the last complete one stays
    }
    EndRun(playerIsOurs);
}

bool Shadowing::Owns(Command command) const {
    return command == Command::Shadowing || command == Command::ReplayShadowing ||
           command == Command::PlayTake || command == Command::SaveTake;
}

void Shadowing::Run(Command command) {
    switch (command) {
        case Command::Shadowing:
            Toggle();
            break;
        case Command::ReplayShadowing:
            ReplayWithOriginal();
            break;
        case Command::PlayTake:
            PlayTake();
            break;
        case Command::SaveTake:
            SaveTake();
            break;
        default:
            break;
    }
}

void Shadowing::LessonChanged(const QString&) {
    if (Active()) End(false);
}

void Shadowing::EndRun(bool playerIsOurs) {
    phase_ = Phase::Idle;
    device_.CloseInput();
    checkedTake_.clear();  // a take may have been saved
    window_.shadowTick.enabled = false;
    ShowCue(QString());
    speed_.EndRun();
    if (playerIsOurs) {
        player_.SetStopPoint(std::nullopt);
        if (SegmentReady())
            player_.SetCurrentPosition(partOnly_ ? state_.RepeatedSegment()->a.Seconds() : a_);
    }
    partOnly_ = false;
    recorder_.TakeBack();
}

void Shadowing::Fail(const QString& whatFailed, const Failure& failure) {
    phase_ = Phase::Idle;
    device_.Close();
    EndRun();
    dialogs_.ShowMessage(FailureMessage(whatFailed, failure), MessageTitle(), MessageKind::Error);
}

void Shadowing::SaveTake() {
    if (Active() || !SegmentReady()) return;
    const QString take = TakePath(player_.Url(), *state_.RepeatedSegment());
    if (!QFileInfo(take).isFile()) return;
    const FileChoice choice =
        dialogs_.SaveFile(QString::fromUtf8("WAV文件(*.wav)|*.wav"),
                          QFileInfo(player_.Url()).completeBaseName() + QString::fromUtf8("_跟读.wav"));
    if (choice.Cancelled()) return;
    // Replaced whole or left as it was: a failed copy never costs the learner a file already there.
    const Result<void> copied = CopyFileAtomically(take, choice.fileName);
    if (!copied.ok())
        dialogs_.ShowMessage(FailureMessage(QString::fromUtf8("跟读录音没有另存。"), copied.failure()),
                             MessageTitle(), MessageKind::Error);
}

}  // namespace ostrelle
