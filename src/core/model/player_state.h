#pragma once

#include "core/model/ab_pair.h"
#include "text/timed_text.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace ostrelle {

// The session: the lesson, its segments, the repeat run and the timed text, as the operations read and
// write them. The window's captions, enabled commands and marks follow from it; nothing here is saved.
struct PlayerState {
    QString currentListPath;  // path of the playlist entry last selected or clicked
    bool hasAB = false;       // the current file has at least one stored segment
    // The lesson's length as its playlist row gives it, until the player knows better; 0 when unknown.
    std::int64_t listedLengthMs = 0;
    ABList abList;            // the current file's segments
    int durationRetries = 0;  // listing ticks left while the duration still reads 0
    // The stored segment being repeated; none while no stored one is (no segments, a timed line looped,
    // everything deleted).
    std::optional<int> abIndex;
    // A segment of the moment, not stored (a timed text's line), repeated instead of a stored one.
    std::optional<ABPair> looseSegment;
    std::optional<MarkTime> pendingA;  // an A that waits for its B
    bool refusedB = false;             // the last B given was not after the waiting A
    int currentListRow = 0;            // grid row of the current playlist entry, from 1
    // No new segment may be marked until a lesson is loaded: the list was changed under the lesson, or a B
    // found no file open.
    bool markingOff = false;

    enum class RunPhase { Off, Passing, Pausing };
    RunPhase run = RunPhase::Off;
    int runPasses = 0;   // passes of the current run
    int repeatLeft = 0;  // passes still to play in the current run
    int pauseTicks = 0;  // countdown of the pause between passes, in repeat ticks
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

    // The plain document the text pane shows (TXT, RTF, Word), as read; empty while it shows none.
    QString documentText;
    // The timed text (lyrics, subtitles) the text pane shows; no lines while it shows any other text.
    TimedText timedText;
    QString timedTextFile;          // its file as it is, tags and all
    bool timedTextRaw = false;      // the pane shows the file as it is
    bool timedTextAligned = false;  // placed by 文本对齐: an untimed line is a sentence it could not place

    // The segment a run repeats: the loose one, else the stored one named; null for none.
    const ABPair* RepeatedSegment() const {
        if (looseSegment) return &*looseSegment;
        if (abIndex && *abIndex >= 0 && *abIndex < static_cast<int>(abList.size()) && !abList[*abIndex].blank)
            return &abList[*abIndex];
        return nullptr;
    }
    // A stored segment is current and no A waits for its B: it may be stepped from, moved and deleted.
    bool StoredSegmentCurrent() const { return !pendingA && !looseSegment && RepeatedSegment(); }

    // No segment is current: nothing is left to repeat.
    void ForgetCurrentSegment() {
        abIndex.reset();
        looseSegment.reset();
        pendingA.reset();
        refusedB = false;
    }
};

}  // namespace ostrelle
