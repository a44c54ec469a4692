#include "app/ostrelle.h"

namespace ostrelle {

Ostrelle::Ostrelle(const Adapters& adapters)
    : adapters_(adapters),
      display_(window_),
      store_(adapters.database),
      repeat_(window_, state_, adapters.player, display_),
      editor_(window_, state_, adapters.player, display_, store_, repeat_, adapters.dialogs),
      transport_(window_, state_, adapters.player, repeat_, display_, editor_, {}),
      playlist_(window_, state_, adapters.player, adapters.dialogs, adapters.probe, adapters.database,
                display_,
                {.startAudioFile = [this](const QString& path) { StartAudioFile(path); },
                 .loadFileSegments = [this](const QString& path,
                                            int row) { transport_.LoadFileSegments(path, row); }}) {}

void Ostrelle::RunCommand(int index) {
    switch (index) {
        case 2:
            repeat_.PlayRepeat();
            break;
        case 3:
            editor_.SetAPoint();
            break;
        case 4:
            editor_.SetBPoint();
            break;
        case 5:
            playlist_.ClearPlaylist();
            break;
        case 6:
            playlist_.DeletePlaylistEntry();
            break;
        case 7:
            repeat_.NextSegment();
            break;
        case 8:
            repeat_.PreviousSegment();
            break;
        default:
            break;
    }
}

void Ostrelle::AeroButton4_Click(int index) {
    if (index == 0) editor_.DeleteCurrentAB();
    if (index == 1) editor_.DeleteAllAB();
}

void Ostrelle::StartAudioFile(const QString& path) {
    Window& w = window_;
    EnablePair(w.aeroButton1[10], w.idmListSave, true);
    EnablePair(w.aeroButton1[3], w.idmAPoint, true);
    adapters_.player.SetUrl(path);
    adapters_.player.Play();
    w.timer1 = {true, Playlist::kListingIntervalMs};
    w.timer6 = {true, Playlist::kListingIntervalMs};
    state_.durationRetries = 5;
    for (int i = 0; i < 2; ++i)
        w.image1[i].visible = w.picture2[i].visible = false;
}

}  // namespace ostrelle
