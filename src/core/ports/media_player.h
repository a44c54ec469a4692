#pragma once

#include <QString>

#include <optional>

namespace ostrelle {

// Play state codes of the player, as the program tests them.
enum PlayStateCode : int {
    kPlayStateUndefined = 0,
    kPlayStateStopped = 1,  // after Stop(), at the end of the media, and after a failed open
    kPlayStatePaused = 2,   // also when a stop point has been reached
    kPlayStatePlaying = 3,
    kPlayStateTransitioning = 9,  // a newly set file is still opening
    kPlayStateReady = 10,
};

// The embedded audio player. All calls come from the UI thread and return at once; a file opens in the
// background, and until it is open the duration reads 0 and the state reads transitioning.
class MediaPlayer {
public:
    virtual ~MediaPlayer() = default;

    // Opens path as the current media. With auto-start off it waits paused at 0, else it starts playing.
    virtual void SetUrl(const QString& path) = 0;
    virtual QString Url() const = 0;

    virtual void Play() = 0;   // from the current position
    virtual void Pause() = 0;  // the position stays
    virtual void Stop() = 0;

    // Seconds from the start of the media. A set while playing goes on playing, while paused stays paused.
    virtual double CurrentPosition() const = 0;
    virtual void SetCurrentPosition(double seconds) = 0;
    // "MM:SS", or "HH:MM:SS" when the media lasts an hour or more.
    virtual QString CurrentPositionString() const = 0;
    // Seconds; 0 until known.
    virtual double Duration() const = 0;
    virtual int PlayState() const = 0;
    // Whether the current media played to its end by itself: true from that moment until the next
    // SetUrl(), Play(), seek or Stop(). A stop or a failed open is not an end.
    virtual bool EndedByItself() const = 0;

    virtual void SetVolume(int volume) = 0;  // 0 to 100
    virtual int Volume() const = 0;
    virtual void SetAutoStart(bool autoStart) = 0;

    // Playing stops exactly at the stop point and the player reports paused there, positioned at it.
    // Seeks and Play() keep the stop point until it is cleared with nothing.
    virtual void SetStopPoint(std::optional<double> seconds) = 0;

    // Playback speed with the pitch kept, 1.0 being the media's own; held to kMinRate..kMaxRate and kept
    // across SetUrl(). A change applies at once, also in the middle of a pass, with no gap and no jump.
    // Positions, the duration and the stop point stay in media time whatever the speed.
    static constexpr double kMinRate = 0.5;
    static constexpr double kMaxRate = 2.0;
    virtual void SetRate(double rate) = 0;
    // The speed the sound really plays at: 1.0 while the current media cannot change speed.
    virtual double Rate() const = 0;

    // Why the current media could not be opened or played; empty when it could.
    virtual QString ErrorText() const = 0;
    // Why nothing can be heard although the media plays (no sound output could be opened, so the sound
    // goes nowhere); empty while it goes to a real output.
    virtual QString OutputProblem() const = 0;
};

}  // namespace ostrelle
