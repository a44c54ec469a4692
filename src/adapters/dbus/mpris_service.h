#pragma once

#include "core/operations/controller.h"
#include "core/ports/media_player.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace ostrelle {

// The desktop's media controls and a headset's media keys: the MPRIS object on the session bus. Play,
// pause and stop are the player menu's commands, next and previous are Controller::Skip, seeks move the
// player, and the desktop is shown the playing file with its current segment. Commands run as the
// window's own events do; reads answer at once.
class MprisService : public QDBusVirtualObject {
public:
    static constexpr const char* kBusName = "org.mpris.MediaPlayer2.ostrelle";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";
    static constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";

    // raise brings the main window to the front.
    MprisService(Controller& app, MediaPlayer& player, std::function<void()> raise);
    ~MprisService() override;

    // Serves the object on connection as kBusName, or as kBusName.instance<pid> while another program
    // holds that name. Without a bus, or when the bus refuses, returns false and says nothing.
    bool Register(const QDBusConnection& connection);
    // Register on the desktop's session bus. Only where the session names one: a bus is never started for
    // the program.
    bool RegisterOnSessionBus();
    // The name held on the bus; empty while not registered.
    QString BusName() const { return busName_; }
    // Tells the desktop what changed since the last call (status, file, segment, steps, speed, volume)
    // and whether the position jumped, as when a repeat pass starts again at A. Cheap: for a timer.
    void Refresh();

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    // What the desktop was last told of the player.
    struct Shown {
        QString status = QStringLiteral("Stopped");
        QString path;
        qint64 lengthUs = 0;
        QString segment;
        bool canGoNext = false;
        bool canGoPrevious = false;
        bool canPlay = false;
        bool canSeek = false;
        double rate = 1.0;
        double volume = 0;
        bool operator==(const Shown&) const = default;
    };

    Shown Now() const;
    QString PlaybackStatus() const;
    QVariantMap Metadata(const Shown& now) const;
    QVariantMap RootProperties() const;
    QVariantMap PlayerProperties() const;

    // The reply to a call, and what to do once it is sent.
    struct Answer {
        QDBusMessage reply;
        std::function<void()> then = {};
    };
    Answer AnswerProperties(const QDBusMessage& call);
    Answer SetProperty(const QDBusMessage& call, const QString& name, const QVariant& value);
    Answer AnswerRoot(const QDBusMessage& call);
    Answer AnswerPlayer(const QDBusMessage& call);
    // Replies at once, then runs command with RunThenTellTheDesktop.
    Answer Deferred(const QDBusMessage& call, std::function<void()> command);
    // Runs command as the window runs its events, then tells the desktop what it changed.
    void RunThenTellTheDesktop(const std::function<void()>& command);
    // Moves the player to seconds, held to the track, and tells the desktop.
    void SeekTo(double seconds);
    void EmitSeeked(double seconds);
    void EmitChanges(const QVariantMap& changed);

    Controller& app_;
    MediaPlayer& player_;
    std::function<void()> raise_;
    std::optional<QDBusConnection> connection_;  // while registered
    QString busName_;
    Shown shown_;
    double lastPosition_ = 0;
    QElapsedTimer sinceRefresh_;
};

}  // namespace ostrelle
