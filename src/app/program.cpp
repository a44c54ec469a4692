#include "app/program.h"

namespace ostrelle {

std::unique_ptr<SqlCipherPlaylistStore> Program::OpenDatabase(const ProgramFolder& folder, Dialogs& dialogs) {
    OpenResult opened = OpenPlaylistStore(folder.DatabaseFile());
    // Told once; the file is kept as it is.
    if (!opened.ok()) {
        dialogs.ShowMessage(FailureMessage(opened.failure()), MessageTitle(), MessageKind::Error);
        return nullptr;
    }
    return std::move(opened.value());
}

GstMediaPlayer Program::MakePlayer(const ProgramOptions& options) {
    if (options.audioSink) return GstMediaPlayer(options.audioSink);
    return GstMediaPlayer(options.output);
}

void Program::TellWhereTheLearnersFilesAre() {
    const ProgramFolder& folder = app_.folder();
    QString text;
    if (folder.carriedOver)
        text =
            QString::fromUtf8("程序文件夹 %1 不能写入。\n播放列表、设置和录音已复制到 %2，以后保存在那里。")
                .arg(folder.installDir, folder.dataDir);
    else if (folder.readOnly)
        text = QString::fromUtf8("程序文件夹 %1 不能写入。\n播放列表和设置可以读取，但改动不能保存。")
                   .arg(folder.installDir);
    if (!text.isEmpty()) dialogs_.ShowMessage(text, MessageTitle(), MessageKind::Warning);
}

Program::Program(ProgramFolder folder, Dialogs& dialogs, const ProgramOptions& options)
    : dialogs_(dialogs),
      database_(OpenDatabase(folder, dialogs)),
      player_(MakePlayer(options)),
      waveDevice_(options.captureSource, options.playbackSink),
      waveform_(folder.dataDir + QStringLiteral("/waveforms")),
      takeWaveform_(folder.dataDir + QStringLiteral("/waveforms")),
      app_({player_, dialogs, meter_, waveDevice_, database_.get(), database_.get(), &sentences_,
            database_.get(), &aligner_, &takeScorer_, database_.get(), database_.get(), database_.get(),
            &clipCutter_, &deckWriter_},
           std::move(folder)),
      window_(app_, player_, &waveform_, &takeWaveform_),
      mpris_(app_, player_, [this] { RaiseWindow(); }) {}

void Program::Start() {
    window_.StartUp([this] {
        TellWhereTheLearnersFilesAre();
        app_.Start();
    });
    window_.show();
    // The desktop is told of changes on a timer that runs anyway, the position display's.
    if (mpris_.RegisterOnSessionBus())
        QObject::connect(&window_.TimerFor(&Window::positionTimer), &QTimer::timeout, &mpris_,
                         &MprisService::Refresh);
}

void Program::RaiseWindow() {
    if (window_.isMinimized()) window_.showNormal();
    window_.show();
    window_.raise();
    window_.activateWindow();
}

}  // namespace ostrelle
