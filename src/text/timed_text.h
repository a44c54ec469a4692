#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace ostrelle {

// A line of lyrics (LRC) or subtitles (SRT) as the text pane shows it.
struct TimedLine {
    std::optional<double> seconds;  // when it is spoken; nothing for text without a valid time
    QString text;
    friend bool operator==(const TimedLine&, const TimedLine&) = default;
};

// A text whose lines say when they are spoken. Lines are in time order; a line without a time stays
// after the timed line it followed in the file, so nothing of the file is dropped.
struct TimedText {
    std::vector<TimedLine> lines;

    bool HasTimes() const;
    // The lines without their time tags, one per line.
    QString ShownText() const;
    // The timed line being spoken at seconds (the last one starting at or before it), or -1 before the first.
    int LineAt(double seconds) const;
    // When the line after line starts (the next later time), or nothing after the last.
    std::optional<double> NextTimeAfter(int line) const;
    // The words of the timed lines whose middle lies from fromSeconds up to toSeconds, joined by spaces.
    QString SpokenBetween(double fromSeconds, double toSeconds) const;
};

// LRC: one or more leading time tags [mm:ss], [mm:ss.x], [mm:ss.xx], [mm:ss.xxx], [mm:ss:xx] (hundredths)
// or [hh:mm:ss.xx] give the times of the text after them; [offset:±ms] moves every time earlier by ms;
// lines of metadata tags alone ([ti:], [ar:], [al:], [by:] ...) are not shown; a tag that is neither is
// kept as text; blank lines stay, as pauses.
TimedText ParseLrc(const QString& text);
// SRT: numbered cues "00:00:01,000 --> 00:00:02,500" with one or more text lines, joined into one; a
// blank timed line marks the end of a cue that the next one does not follow at once. A block without a
// valid time line is kept as text.
TimedText ParseSrt(const QString& text);

// Whether a file of this name is read as a timed text (.lrc or .srt, any letter case).
bool IsTimedTextFile(const QString& path);
// Parses decoded file text by the file's extension.
TimedText ParseTimedText(const QString& text, const QString& path);

}  // namespace ostrelle
