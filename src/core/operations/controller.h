#pragma once

#include "core/model/commands.h"
#include "core/model/player_state.h"
#include "core/model/program_folder.h"
#include "core/model/window_model.h"
#include "core/operations/aligned_text.h"
#include "core/operations/deck_export.h"
#include "core/operations/dictation.h"
#include "core/operations/documents.h"
#include "core/operations/feature.h"
#include "core/operations/file_lengths.h"
#include "core/operations/file_opening.h"
#include "core/operations/playlist.h"
#include "core/operations/playlist_files.h"
#include "core/operations/practice_diary.h"
#include "core/operations/recorder.h"
#include "core/operations/repeat_engine.h"
#include "core/operations/review.h"
#include "core/operations/segment_display.h"
#include "core/operations/segment_editor.h"
#include "core/operations/segment_store.h"
#include "core/operations/sentence_split.h"
#include "core/operations/shadowing.h"
#include "core/operations/speed_control.h"
#include "core/operations/take_scoring.h"
#include "core/operations/timed_text_lines.h"
#include "core/operations/transport.h"
#include "core/operations/waveform_panel.h"
#include "core/ports/dialogs.h"
#include "core/ports/duration_meter.h"
#include "core/ports/length_store.h"
#include "core/ports/media_player.h"
#include "core/ports/playlist_store.h"
#include "core/ports/sentence_analyzer.h"
#include "core/ports/wave_device.h"

#include <array>
#include <functional>
#include <vector>

namespace ostrelle {

// What the controller works through; the composition (the program, or a test) owns them.
struct Adapters {
    MediaPlayer& player;
    Dialogs& dialogs;
    DurationMeter& meter;
    WaveDevice& waveDevice;
    PlaylistStore* database = nullptr;       // null when it could not be opened
    LengthStore* lengthStore = nullptr;      // null: measured lengths are kept for the run only
    SentenceAnalyzer* sentences = nullptr;   // null: no automatic sentence split
    DictationScores* scores = nullptr;       // null: dictation scores are kept for the run only
    TextAligner* aligner = nullptr;          // null: no text alignment
    TakeScorer* takeScorer = nullptr;        // null: shadowing takes are not scored
    TakeScoreHistory* takeScores = nullptr;  // null: takes' scores are kept for the run only
    ReviewStore* reviews = nullptr;          // null: no book of hard sentences
    PracticeLog* practice = nullptr;         // null: the practice diary is kept for the run only
    ClipCutter* clipCutter = nullptr;        // null, or no deck writer: no export to Anki
    DeckWriter* deckWriter = nullptr;
    std::function<qint64()> nowMs = {};  // since the epoch, UTC; empty: the system clock
};

// The main window's controller: owns the window model and the session, hands every command to the feature
// that owns it, and runs one operation at a time.
class Controller {
public:
    static constexpr const char* kTitle = "Ostrelle V2.0    (操作方法请注意下面提示)";
    static constexpr const char* kMakerCredit = "Ostrelle 开发组";

    Controller(const Adapters& adapters, ProgramFolder folder);

    Window& window() { return window_; }
    const Window& window() const { return window_; }
    PlayerState& state() { return state_; }
    const PlayerState& state() const { return state_; }
    const ProgramFolder& folder() const { return folder_; }

    // The window's load event: lays out, fills and restores everything, in order.
    void Start();

    // Runs a command of a button, a menu item or a shortcut.
    void Run(Command command);
    // The text-display check box changed: the text pane shows or hides.
    void ApplyTextShown() { documents_.ApplyTextShown(); }
    // A pick in the repeat count or pause box stores the first character of both.
    void StoreRepeatChoices();

    // The window's timers, each while its model timer runs.
    void ListPlayingFile() { playlist_.ListPlayingFile(); }
    void ShowRecordingTime() { recorder_.ShowRecordingTime(); }
    void TickRepeat() { repeat_.Tick(); }
    // Loads the lesson the learner left, when it is still listed, else row 1.
    void LoadFirstEntry();
    // A handle dragged on the waveform strip: the current segment's A or B moves there.
    void MoveMark(SegmentEditor::Mark mark, double seconds) { editor_.MoveMark(mark, seconds); }
    // Called as the window closes: remembers the lesson, its position and its current segment.
    void SaveResumePoint();
    // Also tells the learner, once, when the sound goes to no output.
    void ShowPosition();
    void PlayNextWhenEnded() { playlist_.PlayNextWhenEnded(); }
    void TickShadowing() { shadowing_.Tick(); }
    // A click on a stretch the last take's score flagged: that stretch of the original, then of the take.
    void PlayTakeFlag(int flag);
    // Files given on the command line or dropped on the window.
    void OpenFiles(const QStringList& paths) { fileOpening_.Open(paths); }
    void HideStatusNote() { fileOpening_.HideNote(); }
    // Files given when the program starts: opened once the last lesson has been loaded.
    void OpenFilesAfterStartUp(const QStringList& paths) { startFiles_ = paths; }
    // Enter in the dictation input line.
    void CheckDictation(const QString& typed) { dictation_.Check(typed); }
    // Highlights the line of the timed text being spoken.
    void FollowTimedText() { timedText_.Follow(); }
    // A line of the timed text double-clicked: repeated up to the next line.
    void LoopTimedLine(int line) { timedText_.LoopLine(line); }

    // Called when the window is to close (the exit menu item).
    void SetCloseHandler(std::function<void()> handler) { close_ = std::move(handler); }
    // Called after each operation, for the window to show the new state.
    void SetRenderHandler(std::function<void()> handler) { render_ = std::move(handler); }
    // One operation at a time: runs operation unless another is under way (a dialog of it may be open, with
    // the learner's clicks and the timers' ticks coming in), then renders and runs the events that waited.
    // False when dropped.
    bool Handle(const std::function<void()>& operation);
    // An event from outside the window's own controls (an adapter's news, the desktop's media controls, a
    // hand-over): never dropped; during another operation it waits for that one to end.
    void Deliver(const std::function<void()>& event);
    // The presenter: the repeat group and the marks, then each feature's part of the window, from the
    // session and the settings; the window runs it before each render.
    void UpdateDerivedStates();
    // The desktop's next and previous (step +1 or -1): the next or previous segment while the file has
    // segments, as >>| and |<< do, else the list entry below or above, as a double-click on it does.
    // A step that cannot be taken does nothing.
    bool CanSkip(int step) const;
    void Skip(int step);
    // Called with the usage instructions when the learner asks for them.
    void SetUsageHandler(std::function<void(const QString& instructions)> handler) {
        showUsage_ = std::move(handler);
    }
    // Called with the practice diary's summary when the learner asks for it.
    void SetPracticeHandler(std::function<void(const PracticeSummary&)> handler) {
        showPractice_ = std::move(handler);
    }
    // The introduction's text that ships with the program, or the window's one-line hint without it.
    QString UsageInstructions() const;

    RepeatEngine& repeat() { return repeat_; }
    SegmentEditor& segmentEditor() { return editor_; }
    Playlist& playlist() { return playlist_; }
    PlaylistFiles& playlistFiles() { return playlistFiles_; }
    Transport& transport() { return transport_; }
    Documents& documents() { return documents_; }
    Recorder& recorder() { return recorder_; }
    SpeedControl& speed() { return speed_; }
    Shadowing& shadowing() { return shadowing_; }
    Dictation& dictation() { return dictation_; }
    Review& review() { return review_; }
    PracticeDiary& diary() { return diary_; }

private:
    void RestoreRepeatSettings();
    void LoadResumeEntry();
    // Back to the lesson left for a file that could not be played: paused where it was, with its text and
    // its current segment. Nothing when it is no longer listed.
    void ReturnToLesson(const PlayerState::LessonLeft& lesson);
    // A segment's take and review state go with the segment.
    void ForgetDeletedTakes(const QString& path);
    // The list entry at row becomes current and its lesson is loaded, paused, with its text and segments.
    void LoadListedLesson(int row);
    // Loads path as the current lesson, paused, as the list would; false when it cannot be opened.
    bool OpenLesson(const QString& path);
    void RestorePauseChoice();
    // A file starts: a split of another file stops.
    void LoadFileSegments(const QString& path, int row);
    // Writes settings; when any write fails the learner is told once, and the old file stays as it was.
    void WriteSettings(const std::vector<std::array<QString, 3>>& sectionKeyValues);

    Window window_;
    PlayerState state_;
    Adapters adapters_;
    ProgramFolder folder_;
    SegmentDisplay display_;
    SegmentStore store_;
    FileLengths lengths_;
    SpeedControl speed_;
    RepeatEngine repeat_;
    SegmentEditor editor_;
    Documents documents_;
    Transport transport_;
    Playlist playlist_;
    PlaylistFiles playlistFiles_;
    Recorder recorder_;
    Shadowing shadowing_;
    TakeScoring takeScoring_;
    Dictation dictation_;
    FileOpening fileOpening_;
    QStringList startFiles_;
    std::function<void()> close_;
    std::function<void(const QString&)> showUsage_;
    std::function<void(const PracticeSummary&)> showPractice_;
    std::function<void()> render_;
    bool busy_ = false;                                 // an operation is under way
    std::vector<std::function<void()>> pendingEvents_;  // delivered during it
    SentenceSplit sentenceSplit_;
    AlignedText alignedText_;
    TimedTextLines timedText_;
    WaveformPanel waveform_;
    PracticeDiary diary_;
    Review review_;
    DeckExport deckExport_;
    // Each owns its commands and its part of the window, and is told when another lesson starts.
    std::vector<Feature*> features_;
    bool settingsFailureTold_ = false;  // until a write goes through again
    bool silentOutputTold_ = false;
};

}  // namespace ostrelle
