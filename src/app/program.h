#pragma once

#include "adapters/dbus/mpris_service.h"
#include "adapters/espeak/espeak_text_aligner.h"
#include "adapters/gst/audio_file_decoding.h"
#include "adapters/gst/background_duration_meter.h"
#include "adapters/gst/gst_clip_cutter.h"
#include "adapters/gst/gst_media_player.h"
#include "adapters/gst/gst_sentence_analyzer.h"
#include "adapters/gst/gst_take_scorer.h"
#include "adapters/gst/gst_wave_device.h"
#include "adapters/gst/gst_waveform_source.h"
#include "adapters/sqlcipher/anki_deck_writer.h"
#include "adapters/sqlcipher/sqlcipher_playlist_store.h"
#include "core/model/program_folder.h"
#include "core/operations/controller.h"
#include "core/ports/dialogs.h"
#include "view/main_window.h"

#include <memory>

namespace ostrelle {

// The whole program put together: the database, the GStreamer adapters, the controller and its window.
// Tests choose a silent output and a test input; the program uses the desktop's.
struct ProgramOptions {
    AudioOutput output = AudioOutput::kDesktop;
    QString captureSource;  // empty: the desktop's default input
    QString playbackSink;   // empty: the desktop's default output for the recording
    // Benchmarks: the player plays into this sink instead (its floating reference is taken).
    GstElement* audioSink = nullptr;
};

class Program {
public:
    // A database that cannot be opened is told once through dialogs; the program then runs without a list.
    Program(ProgramFolder folder, Dialogs& dialogs, const ProgramOptions& options = {});

    // Runs the window's load event, shows the window, and offers the desktop's media controls when there
    // is a session bus.
    void Start();

    Controller& app() { return app_; }
    MainWindow& window() { return window_; }
    MediaPlayer& player() { return player_; }
    bool HasDatabase() const { return database_ != nullptr; }

private:
    static std::unique_ptr<SqlCipherPlaylistStore> OpenDatabase(const ProgramFolder& folder,
                                                                Dialogs& dialogs);
    static GstMediaPlayer MakePlayer(const ProgramOptions& options);
    // Once at start-up, when the learner's files are not where the program keeps them.
    void TellWhereTheLearnersFilesAre();
    void RaiseWindow();

    Dialogs& dialogs_;
    std::unique_ptr<SqlCipherPlaylistStore> database_;
    GstMediaPlayer player_;
    BackgroundDurationMeter meter_;
    GstWaveDevice waveDevice_;
    GstWaveformSource waveform_;
    GstWaveformSource takeWaveform_;
    GstSentenceAnalyzer sentences_;
    EspeakTextAligner aligner_{&DecodeSpeech};
    GstTakeScorer takeScorer_;
    GstClipCutter clipCutter_;
    AnkiDeckWriter deckWriter_;
    Controller app_;
    MainWindow window_;
    MprisService mpris_;
};

}  // namespace ostrelle
