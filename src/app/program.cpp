#include "app/program.h"

namespace ostrelle {

std::unique_ptr<SqlCipherPlaylistStore> Program::OpenDatabase(const ProgramFolder& folder, Dialogs& dialogs) {
    OpenResult opened = OpenPlaylistStore(folder.DatabaseFile());
    // Told once; the file is kept as it is.
    if (!opened.ok()) {
        dialogs.ShowMessage(FailureMessage(opened.failure()), MessageTitle(), MessageButtons::Ok);
        return nullptr;
    }
    return std::move(opened.value());
}

Program::Program(ProgramFolder folder, Dialogs& dialogs, const ProgramOptions& options)
    : database_(OpenDatabase(folder, dialogs)),
      player_(options.output),
      waveDevice_(options.captureSource, options.playbackSink),
      app_({player_, dialogs, probe_, waveDevice_, database_.get()}, std::move(folder)),
      window_(app_, player_) {}

void Program::Start() {
    window_.StartUp([this] { app_.Start(); });
    window_.show();
}

}  // namespace ostrelle
