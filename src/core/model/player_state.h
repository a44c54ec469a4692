#pragma once

#include "core/model/ab_pair.h"
#include "text/timed_text.h"

#include <QString>

#include <optional>

namespace ostrelle {

// The working state that lives as long as the main window. Nothing here is saved between runs.
struct PlayerState {
    QString currentListPath;  // path of the playlist entry last selected or clicked
    bool hasAB = false;       // the current file has at least one stored segment
    QString lengthText;       // playing-time text of the current playlist row
    ABList abList;            // the current file's segments
    int durationRetries = 0;  // listing ticks left while the duration still reads 0
    QString aPoint;           // A of the current segment, as time text
    QString bPoint;           // B of the current segment, as time text
    int abIndex = 0;          // index in abList of the current segment
    // abIndex names a stored segment the repeat group counts as current; false while none is (no
    // segments, a timed line looped, everything deleted).
    bool segmentShown = false;
    bool awaitingB = false;  // an A was set and waits for its B
    int currentListRow = 0;  // grid row of the current playlist entry, from 1
    int runPasses = 0;       // passes of the current run
    int repeatLeft = 0;      // passes still to play in the current run
    int pauseTicks = 0;      // countdown of the pause between passes, in repeat ticks
    bool pausing = false;    // the run is in its pause between two passes
    // The play-repeat button, and its menu item, offer to stop a run: the next press stops rather than
    // starts. A run ended by an edit (a new B) leaves the offer up, as the learner last saw it.
    bool buttonOffersStop = false;
    bool menuOffersStop = false;

    QString abListPath;  // the file whose segments abList holds

    QString currentAudioPath;  // the audio file last opened or started
    // The lesson that was playing when the last file started: returned to should that file not play.
    struct LessonLeft {
        QString path;
        double seconds = 0;
        int segment = -1;  // the current segment's index, or -1
    };
    std::optional<LessonLeft> lessonBefore;

    // The timed text (lyrics, subtitles) the text pane shows; no lines while it shows any other text.
    TimedText timedText;
    QString timedTextFile;      // its file as it is, tags and all
    bool timedTextRaw = false;  // the pane shows the file as it is

    // No segment is current: nothing is left to repeat.
    void ForgetCurrentSegment() {
        aPoint.clear();
        bPoint.clear();
        abIndex = 0;
        segmentShown = false;
        awaitingB = false;
    }
};

}  // namespace ostrelle
