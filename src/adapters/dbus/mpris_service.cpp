#include "adapters/dbus/mpris_service.h"

#include "core/formats/file_kinds.h"
#include "core/formats/time_values.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace ostrelle {
namespace {

const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
const QString kPlaying = QStringLiteral("Playing");
const QString kPaused = QStringLiteral("Paused");
const QString kStopped = QStringLiteral("Stopped");
// A position this far from where playing should have taken it since the last look has jumped: a poll
// comes every half second, and the fastest speed is 2.0.
constexpr double kJumpSeconds = 1.5;

// Methods and signals; Qt adds the properties interface and its own.
constexpr const char* kInterfacesXml = R"(
  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg name="Offset" type="x" direction="in"/></method>
    <method name="SetPosition">
      <arg name="TrackId" type="o" direction="in"/><arg name="Position" type="x" direction="in"/>
    </method>
    <method name="OpenUri"><arg name="Uri" type="s" direction="in"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="LoopStatus" type="s" access="read"/>
    <property name="Rate" type="d" access="readwrite"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
)";

qint64 Microseconds(double seconds) {
    return std::llround(seconds * 1e6);
}

// One path per file: a desktop tells a new file from a new segment of the same file by it.
QDBusObjectPath TrackId(const QString& path) {
    const QByteArray digest = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QDBusObjectPath(QStringLiteral("/io/github/ostrelle/Ostrelle/track/") +
                           QString::fromLatin1(digest));
}

QDBusMessage InvalidArgs(const QDBusMessage& call, const QString& why) {
    return call.createErrorReply(QDBusError::InvalidArgs, why);
}

}  // namespace

MprisService::MprisService(Controller& app, MediaPlayer& player, std::function<void()> raise)
    : app_(app), player_(player), raise_(std::move(raise)) {}

MprisService::~MprisService() {
    if (!connection_) return;
    connection_->unregisterService(busName_);
    connection_->unregisterObject(QString::fromLatin1(kObjectPath));
}

bool MprisService::Register(const QDBusConnection& connection) {
    if (connection_ || !connection.isConnected()) return false;
    QDBusConnection bus = connection;
    const QString path = QString::fromLatin1(kObjectPath);
    if (!bus.registerVirtualObject(path, this)) return false;
    const QString name = QString::fromLatin1(kBusName);
    const QString instance =
        name + QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid());
    for (const QString& candidate : {name, instance}) {
        if (!bus.registerService(candidate)) continue;
        connection_ = bus;
        busName_ = candidate;
        shown_ = Now();
        lastPosition_ = player_.CurrentPosition();
        sinceRefresh_.start();
        return true;
    }
    bus.unregisterObject(path);
    return false;
}

bool MprisService::RegisterOnSessionBus() {
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return false;
    return Register(QDBusConnection::sessionBus());
}

QString MprisService::PlaybackStatus() const {
    switch (player_.PlayState()) {
        case kPlayStatePlaying:
            return kPlaying;
        case kPlayStatePaused:
            return kPaused;
        case kPlayStateTransitioning:
        case kPlayStateReady:
            // A file is opening: it will play or wait paused. Until then the desktop keeps what it saw.
            return shown_.status;
        default:
            return kStopped;
    }
}

MprisService::Shown MprisService::Now() const {
    Shown now;
    now.status = PlaybackStatus();
    now.path = player_.Url();
    now.canPlay = !now.path.isEmpty() && player_.ErrorText().isEmpty();
    const double duration = player_.Duration();
    now.canSeek = now.canPlay && duration > 0;
    now.lengthUs = now.canSeek ? Microseconds(duration) : 0;
    const PlayerState& state = app_.state();
    const ABPair* segment = state.RepeatedSegment();
    if (segment && state.currentAudioPath == now.path)
        now.segment =
            QStringLiteral("A %1 - B %2").arg(MarkText(segment->a.Seconds()), MarkText(segment->b.Seconds()));
    now.canGoNext = app_.CanSkip(+1);
    now.canGoPrevious = app_.CanSkip(-1);
    now.rate = player_.Rate();
    now.volume = player_.Volume() / 100.0;
    return now;
}

QVariantMap MprisService::Metadata(const Shown& now) const {
    if (now.path.isEmpty())
        return {{QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(kNoTrack))}};
    QVariantMap metadata{
        {QStringLiteral("mpris:trackid"), QVariant::fromValue(TrackId(now.path))},
        {QStringLiteral("xesam:title"), QFileInfo(now.path).fileName()},
        {QStringLiteral("xesam:url"), QUrl::fromLocalFile(now.path).toString(QUrl::FullyEncoded)},
    };
    if (now.lengthUs > 0) metadata.insert(QStringLiteral("mpris:length"), qlonglong{now.lengthUs});
    if (!now.segment.isEmpty()) metadata.insert(QStringLiteral("xesam:comment"), QStringList{now.segment});
    return metadata;
}

QVariantMap MprisService::RootProperties() const {
    return {
        {QStringLiteral("CanQuit"), true},
        {QStringLiteral("CanRaise"), true},
        {QStringLiteral("HasTrackList"), false},
        {QStringLiteral("Identity"), QStringLiteral("Ostrelle")},
        {QStringLiteral("DesktopEntry"), QStringLiteral(OSTRELLE_APP_ID)},
        {QStringLiteral("SupportedUriSchemes"), QStringList{QStringLiteral("file")}},
        {QStringLiteral("SupportedMimeTypes"),
         QString::fromLatin1(OSTRELLE_AUDIO_MIME_TYPES).split(u',', Qt::SkipEmptyParts)},
    };
}

QVariantMap MprisService::PlayerProperties() const {
    const Shown now = Now();
    return {
        {QStringLiteral("PlaybackStatus"), now.status},
        {QStringLiteral("LoopStatus"), QStringLiteral("None")},
        {QStringLiteral("Rate"), now.rate},
        {QStringLiteral("MinimumRate"), MediaPlayer::kMinRate},
        {QStringLiteral("MaximumRate"), MediaPlayer::kMaxRate},
        {QStringLiteral("Metadata"), Metadata(now)},
        {QStringLiteral("Volume"), now.volume},
        {QStringLiteral("Position"), qlonglong{Microseconds(player_.CurrentPosition())}},
        {QStringLiteral("CanGoNext"), now.canGoNext},
        {QStringLiteral("CanGoPrevious"), now.canGoPrevious},
        {QStringLiteral("CanPlay"), now.canPlay},
        {QStringLiteral("CanPause"), now.canPlay},
        {QStringLiteral("CanSeek"), now.canSeek},
        {QStringLiteral("CanControl"), true},
    };
}

void MprisService::Refresh() {
    if (!connection_) return;
    const Shown now = Now();
    QVariantMap changed;
    const auto note = [&](bool differs, const char* name, const QVariant& value) {
        if (differs) changed.insert(QString::fromLatin1(name), value);
    };
    note(now.status != shown_.status, "PlaybackStatus", now.status);
    note(now.path != shown_.path || now.lengthUs != shown_.lengthUs || now.segment != shown_.segment,
         "Metadata", Metadata(now));
    note(now.canGoNext != shown_.canGoNext, "CanGoNext", now.canGoNext);
    note(now.canGoPrevious != shown_.canGoPrevious, "CanGoPrevious", now.canGoPrevious);
    note(now.canPlay != shown_.canPlay, "CanPlay", now.canPlay);
    note(now.canPlay != shown_.canPlay, "CanPause", now.canPlay);
    note(now.canSeek != shown_.canSeek, "CanSeek", now.canSeek);
    note(now.rate != shown_.rate, "Rate", now.rate);
    note(now.volume != shown_.volume, "Volume", now.volume);

    // Desktops move their position display on by themselves; a jump (a pass starting again at A, a
    // click on the waveform) they learn of only from Seeked.
    const double position = player_.CurrentPosition();
    const double elapsed = sinceRefresh_.restart() / 1000.0;
    const double expected = lastPosition_ + (shown_.status == kPlaying ? elapsed * shown_.rate : 0.0);
    const bool jumped = now.path == shown_.path && std::abs(position - expected) > kJumpSeconds;
    lastPosition_ = position;
    shown_ = now;
    if (!changed.isEmpty()) EmitChanges(changed);
    if (jumped) EmitSeeked(position);
}

void MprisService::EmitChanges(const QVariantMap& changed) {
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath), kPropertiesInterface,
                                                     QStringLiteral("PropertiesChanged"));
    signal.setArguments({QString::fromLatin1(kPlayerInterface), changed, QStringList()});
    connection_->send(signal);
}

void MprisService::EmitSeeked(double seconds) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QString::fromLatin1(kPlayerInterface), QStringLiteral("Seeked"));
    signal.setArguments({qlonglong{Microseconds(seconds)}});
    connection_->send(signal);
}

void MprisService::RunThenTellTheDesktop(const std::function<void()>& command) {
    app_.Deliver([this, command] {
        command();
        Refresh();
    });
}

void MprisService::SeekTo(double seconds) {
    const double target = std::clamp(seconds, 0.0, player_.Duration());
    player_.SetCurrentPosition(target);
    lastPosition_ = target;
    sinceRefresh_.start();
    EmitSeeked(target);
}

QString MprisService::introspect(const QString& path) const {
    return path == QString::fromLatin1(kObjectPath) ? QString::fromLatin1(kInterfacesXml) : QString();
}

bool MprisService::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const QString interface = message.interface();
    Answer answer;
    if (interface == kPropertiesInterface)
        answer = AnswerProperties(message);
    else if (interface == QString::fromLatin1(kRootInterface))
        answer = AnswerRoot(message);
    else if (interface == QString::fromLatin1(kPlayerInterface))
        answer = AnswerPlayer(message);
    else
        return false;  // introspection, the peer interface and unknown interfaces are Qt's to answer
    // Answered before the command runs: a command may open a message box, and the caller must not wait
    // for the learner to close it.
    if (message.isReplyRequired()) connection.send(answer.reply);
    if (answer.then) answer.then();
    return true;
}

MprisService::Answer MprisService::Deferred(const QDBusMessage& call, std::function<void()> command) {
    return {call.createReply(), [this, command = std::move(command)] { RunThenTellTheDesktop(command); }};
}

MprisService::Answer MprisService::AnswerRoot(const QDBusMessage& call) {
    const QString member = call.member();
    if (!call.signature().isEmpty())
        return {InvalidArgs(call, member + QStringLiteral(" takes no arguments"))};
    if (member == QStringLiteral("Raise")) return {call.createReply(), raise_};
    if (member == QStringLiteral("Quit")) return Deferred(call, [this] { app_.Run(Command::Exit); });
    return {call.createErrorReply(QDBusError::UnknownMethod, member)};
}

MprisService::Answer MprisService::AnswerPlayer(const QDBusMessage& call) {
    const QString member = call.member();
    const QString signature = call.signature();
    const QVariantList args = call.arguments();
    const auto takes = [&](const char* wanted) { return signature == QLatin1StringView(wanted); };
    const auto wrongArguments = [&](const char* wanted) {
        return Answer{
            InvalidArgs(call, member + QStringLiteral(" takes (%1)").arg(QLatin1StringView(wanted)))};
    };
    if (member == QStringLiteral("Next") || member == QStringLiteral("Previous")) {
        if (!takes("")) return wrongArguments("");
        const int step = member == QStringLiteral("Next") ? +1 : -1;
        return Deferred(call, [this, step] { app_.Skip(step); });
    }
    if (member == QStringLiteral("Play") || member == QStringLiteral("Pause") ||
        member == QStringLiteral("PlayPause") || member == QStringLiteral("Stop")) {
        if (!takes("")) return wrongArguments("");
        return Deferred(call, [this, member] {
            if (member == QStringLiteral("Stop")) {
                app_.Run(Command::Stop);
                return;
            }
            // Nothing to play: the call has no effect.
            if (player_.Url().isEmpty() || !player_.ErrorText().isEmpty()) return;
            const bool pause =
                member == QStringLiteral("Pause") ||
                (member == QStringLiteral("PlayPause") && player_.PlayState() == kPlayStatePlaying);
            app_.Run(pause ? Command::Pause : Command::Play);
        });
    }
    if (member == QStringLiteral("Seek")) {
        if (!takes("x")) return wrongArguments("x");
        const qlonglong offsetUs = args.at(0).toLongLong();
        return {call.createReply(), [this, offsetUs] {
                    if (Now().canSeek)
                        SeekTo(player_.CurrentPosition() + static_cast<double>(offsetUs) / 1e6);
                }};
    }
    if (member == QStringLiteral("SetPosition")) {
        if (!takes("ox")) return wrongArguments("ox");
        const QString track = qvariant_cast<QDBusObjectPath>(args.at(0)).path();
        const qlonglong positionUs = args.at(1).toLongLong();
        return {call.createReply(), [this, track, positionUs] {
                    // A position for another file than the playing one is stale: it is ignored.
                    if (!Now().canSeek || track != TrackId(player_.Url()).path()) return;
                    SeekTo(static_cast<double>(positionUs) / 1e6);
                }};
    }
    if (member == QStringLiteral("OpenUri")) {
        if (!takes("s")) return wrongArguments("s");
        const QUrl url(args.at(0).toString());
        const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
        // Only what the learner could open from the window: audio, lists and texts, never any other file.
        if (path.isEmpty() || !QFileInfo(path).isFile() || KindOfFile(path) == FileKind::kUnknown)
            return {InvalidArgs(
                call, QStringLiteral("Only existing local audio, list and text files can be opened"))};
        return Deferred(call,
                        [this, path] { app_.documents().OpenChosenFile(path, QFileInfo(path).fileName()); });
    }
    return {call.createErrorReply(QDBusError::UnknownMethod, member)};
}

MprisService::Answer MprisService::AnswerProperties(const QDBusMessage& call) {
    const QString member = call.member();
    const QString signature = call.signature();
    const QVariantList args = call.arguments();
    if (args.isEmpty() || args.at(0).typeId() != QMetaType::QString)
        return {InvalidArgs(call, QStringLiteral("The first argument names an interface"))};
    const QString interface = args.at(0).toString();
    QVariantMap properties;
    if (interface == QString::fromLatin1(kRootInterface))
        properties = RootProperties();
    else if (interface == QString::fromLatin1(kPlayerInterface))
        properties = PlayerProperties();
    else
        return {call.createErrorReply(QDBusError::UnknownInterface, interface)};

    if (member == QStringLiteral("GetAll") && signature == QStringLiteral("s"))
        return {call.createReply(QVariant(properties))};
    if (member == QStringLiteral("Get") && signature == QStringLiteral("ss")) {
        const QString name = args.at(1).toString();
        if (!properties.contains(name)) return {call.createErrorReply(QDBusError::UnknownProperty, name)};
        return {call.createReply(QVariant::fromValue(QDBusVariant(properties.value(name))))};
    }
    if (member == QStringLiteral("Set") && signature == QStringLiteral("ssv")) {
        const QString name = args.at(1).toString();
        if (!properties.contains(name)) return {call.createErrorReply(QDBusError::UnknownProperty, name)};
        return SetProperty(call, name, qvariant_cast<QDBusVariant>(args.at(2)).variant());
    }
    if (member == QStringLiteral("Get") || member == QStringLiteral("GetAll") ||
        member == QStringLiteral("Set"))
        return {InvalidArgs(call, member + QStringLiteral(" was given the wrong arguments"))};
    return {call.createErrorReply(QDBusError::UnknownMethod, member)};
}

MprisService::Answer MprisService::SetProperty(const QDBusMessage& call, const QString& name,
                                               const QVariant& value) {
    const bool rate = name == QStringLiteral("Rate");
    if (!rate && name != QStringLiteral("Volume"))
        return {call.createErrorReply(QDBusError::PropertyReadOnly, name)};
    const double number = value.toDouble();
    if (value.typeId() != QMetaType::Double || !std::isfinite(number) || number < 0)
        return {InvalidArgs(call, name + QStringLiteral(" is a number from 0 up"))};
    if (rate) {
        // A speed of 0 means a pause; any other is held to the speeds the program can play.
        return Deferred(call, [this, number] {
            if (number == 0)
                app_.Run(Command::Pause);
            else
                app_.speed().Choose(number);
        });
    }
    return {call.createReply(), [this, number] {
                player_.SetVolume(static_cast<int>(std::lround(std::min(number, 1.0) * 100)));
                Refresh();
            }};
}

}  // namespace ostrelle
