#include "adapters/dbus/mpris_service.h"
#include "support/app_fixture.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QTest>
#include <QUrl>

#include <functional>
#include <vector>

namespace ostrelle {
namespace {

const QString kPlayer = QString::fromLatin1(MprisService::kPlayerInterface);
const QString kProperties = "org.freedesktop.DBus.Properties";
constexpr int kWaitMs = 5000;

}  // namespace

// Signals of the service as another program on the bus receives them.
class BusSignals : public QObject {
    Q_OBJECT
public:
    std::vector<QDBusMessage> received;

public Q_SLOTS:
    void Receive(const QDBusMessage& message) { received.push_back(message); }
};

namespace {

// The service over the controller and a simulated player, called from a second connection, so that
// every call and signal goes through the bus daemon.
class MprisTest : public AppFixture {
protected:
    MprisTest() : client_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "mpris-test-client")) {}

    void SetUp() override {
        ASSERT_TRUE(client_.isConnected()) << "the tests run under dbus-run-session";
        ASSERT_TRUE(service_.Register(QDBusConnection::sessionBus()));
        for (const char* name : {"PropertiesChanged", "Seeked"})
            ASSERT_TRUE(client_.connect(QString(), MprisService::kObjectPath, QString(), name, &busSignals_,
                                        SLOT(Receive(QDBusMessage))));
    }
    void TearDown() override {
        for (const char* name : {"PropertiesChanged", "Seeked"})
            client_.disconnect(QString(), MprisService::kObjectPath, QString(), name, &busSignals_,
                               SLOT(Receive(QDBusMessage)));
    }

    // Lists files (with their segment slots) and opens the first as the program does at start-up.
    void ListAndOpenFirst(const std::vector<std::pair<QString, std::vector<std::optional<QString>>>>& files) {
        for (const auto& [path, slots] : files)
            AddRow(path, "10:00", slots);
        app_.playlist().LoadPlaylistGrid();
        state().currentListRow = 1;
        app_.transport().LoadFirstEntry(1);
        service_.Refresh();  // as the window's timer would
    }

    QDBusMessage Call(const QString& interface, const QString& method, const QVariantList& args = {}) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(service_.BusName(), MprisService::kObjectPath, interface, method);
        call.setArguments(args);
        // Asynchronous: the service answers from this thread's event loop.
        const QDBusPendingCall pending = client_.asyncCall(call);
        EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, kWaitMs)) << method.toStdString();
        return pending.reply();
    }

    QVariant Property(const QString& name, const QString& interface = kPlayer) {
        const QDBusMessage reply = Call(kProperties, "Get", {interface, name});
        if (reply.type() != QDBusMessage::ReplyMessage) {
            ADD_FAILURE() << name.toStdString() << ": " << reply.errorMessage().toStdString();
            return {};
        }
        return qvariant_cast<QDBusVariant>(reply.arguments().at(0)).variant();
    }

    QVariantMap Metadata() { return qdbus_cast<QVariantMap>(Property("Metadata")); }

    // Waits for a PropertiesChanged that gives name a value that matches.
    bool Announced(const QString& name, const std::function<bool(const QVariant&)>& matches) {
        return QTest::qWaitFor(
            [&] {
                for (const QDBusMessage& message : busSignals_.received) {
                    if (message.member() != "PropertiesChanged" || message.arguments().size() != 3) continue;
                    const QVariantMap changed = qdbus_cast<QVariantMap>(message.arguments().at(1));
                    if (changed.contains(name) && matches(changed.value(name))) return true;
                }
                return false;
            },
            kWaitMs);
    }
    bool Announced(const QString& name, const QVariant& value) {
        return Announced(name, [&](const QVariant& announced) { return announced == value; });
    }

    // The position of the count-th Seeked signal so far; -1 when fewer came.
    qlonglong NthSeek(size_t count) {
        std::vector<qlonglong> seeks;
        const bool came = QTest::qWaitFor(
            [&] {
                seeks.clear();
                for (const QDBusMessage& message : busSignals_.received)
                    if (message.member() == "Seeked") seeks.push_back(message.arguments().at(0).toLongLong());
                return seeks.size() >= count;
            },
            kWaitMs);
        EXPECT_TRUE(came && seeks.size() == count) << seeks.size() << " Seeked signals, not " << count;
        return came ? seeks.at(count - 1) : -1;
    }

    int raised_ = 0;
    MprisService service_{app_, player_, [this] { ++raised_; }};
    QDBusConnection client_;
    BusSignals busSignals_;
};

TEST_F(MprisTest, PlayPauseTogglesThePlayerAndTheStatusFollows) {
    Call(kPlayer, "Play");
    EXPECT_EQ(player_.playCalls, 0) << "nothing is open to play";
    EXPECT_EQ(Property("PlaybackStatus").toString(), "Stopped");
    EXPECT_FALSE(Property("CanPlay").toBool());

    ListAndOpenFirst({{MakeFile("one.mp3"), {}}});
    EXPECT_EQ(Property("PlaybackStatus").toString(), "Paused");
    Call(kPlayer, "PlayPause");
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
    EXPECT_EQ(Property("PlaybackStatus").toString(), "Playing");
    EXPECT_TRUE(Announced("PlaybackStatus", "Playing"));
    EXPECT_TRUE(Announced("CanPlay", true));
    Call(kPlayer, "PlayPause");
    EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
    EXPECT_TRUE(Announced("PlaybackStatus", "Paused"));
    Call(kPlayer, "Play");
    Call(kPlayer, "Stop");
    EXPECT_EQ(player_.PlayState(), kPlayStateStopped);
    EXPECT_EQ(Property("PlaybackStatus").toString(), "Stopped");
    EXPECT_TRUE(Announced("PlaybackStatus", "Stopped"));

    Call(QString::fromLatin1(MprisService::kRootInterface), "Raise");
    EXPECT_EQ(raised_, 1);
}

TEST_F(MprisTest, NextAndPreviousStepThroughTheSegmentsOfAFileThatHasThem) {
    ListAndOpenFirst({{MakeFile("one.mp3"), {"A00:01.250B00:03.500", "A00:05B00:07", "A00:09B00:11"}},
                      {MakeFile("two.mp3"), {}}});
    const QString first = player_.Url();
    EXPECT_TRUE(Property("CanGoNext").toBool());
    EXPECT_FALSE(Property("CanGoPrevious").toBool());
    Call(kPlayer, "Next");
    EXPECT_EQ(state().abIndex, 1);
    EXPECT_EQ(Metadata().value("xesam:comment").toStringList(), QStringList{"A 00:05.000 - B 00:07.000"});
    EXPECT_TRUE(Announced("CanGoPrevious", true));
    Call(kPlayer, "Next");
    EXPECT_EQ(state().abIndex, 2);
    EXPECT_FALSE(Property("CanGoNext").toBool());
    EXPECT_TRUE(Announced("CanGoNext", false));
    Call(kPlayer, "Next");
    EXPECT_EQ(state().abIndex, 2);
    EXPECT_EQ(player_.Url(), first) << "the last segment does not lead to the next file";

    Call(kPlayer, "Previous");
    Call(kPlayer, "Previous");
    EXPECT_EQ(state().abIndex, 0);
    EXPECT_TRUE(Announced("Metadata", [](const QVariant& value) {
        return qdbus_cast<QVariantMap>(value).value("xesam:comment").toStringList() ==
               QStringList{"A 00:01.250 - B 00:03.500"};
    }));
}

TEST_F(MprisTest, NextAndPreviousStartTheListedFilesWhenTheFileHasNoSegments) {
    const QString one = MakeFile("one.mp3");
    const QString two = MakeFile("two.mp3");
    ListAndOpenFirst({{one, {}}, {two, {}}});
    EXPECT_FALSE(Property("CanGoPrevious").toBool());

    Call(kPlayer, "Next");
    EXPECT_EQ(player_.Url(), two);
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
    EXPECT_EQ(state().currentListRow, 2);
    EXPECT_FALSE(Property("CanGoNext").toBool());
    EXPECT_TRUE(Announced("Metadata", [](const QVariant& value) {
        return qdbus_cast<QVariantMap>(value).value("xesam:title") == "two.mp3";
    }));
    Call(kPlayer, "Next");
    EXPECT_EQ(player_.Url(), two) << "nothing is listed below";

    Call(kPlayer, "Previous");
    EXPECT_EQ(player_.Url(), one);
    EXPECT_EQ(state().currentListRow, 1);
}

TEST_F(MprisTest, SeeksMoveThePlayerWithinTheTrackAndAreAnnounced) {
    player_.duration_ = 93.5;
    ListAndOpenFirst({{MakeFile("one.mp3"), {}}});
    const QDBusObjectPath track = qvariant_cast<QDBusObjectPath>(Metadata().value("mpris:trackid"));
    const QVariant trackArg = QVariant::fromValue(track);
    const struct {
        const char* method;
        QVariantList args;
        double seconds;
    } seeks[] = {
        {"Seek", {qlonglong{5'000'000}}, 5.0},
        {"Seek", {qlonglong{-100'000'000}}, 0.0},
        {"SetPosition", {trackArg, qlonglong{30'250'000}}, 30.25},
        {"SetPosition", {trackArg, qlonglong{700'000'000}}, 93.5},
        {"Seek", {qlonglong{-3'500'000}}, 90.0},
        {"SetPosition", {trackArg, qlonglong{-1}}, 0.0},
    };
    size_t count = 0;
    for (const auto& seek : seeks) {
        const QDBusMessage reply = Call(kPlayer, seek.method, seek.args);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        EXPECT_DOUBLE_EQ(player_.CurrentPosition(), seek.seconds) << seek.method;
        EXPECT_EQ(Property("Position").toLongLong(), qlonglong(seek.seconds * 1e6));
        EXPECT_EQ(NthSeek(++count), qlonglong(seek.seconds * 1e6)) << seek.method;
    }

    // A position for another track is stale: nothing moves, and the next Seeked is the next seek's.
    Call(kPlayer, "SetPosition",
         {QVariant::fromValue(QDBusObjectPath("/io/github/ostrelle/Ostrelle/track/0")),
          qlonglong{10'000'000}});
    EXPECT_EQ(player_.CurrentPosition(), 0.0);
    Call(kPlayer, "Seek", {qlonglong{2'000'000}});
    EXPECT_EQ(NthSeek(count + 1), 2'000'000);

    // A jump the desktop did not ask for (a repeat pass starting again at A) is announced when seen.
    player_.SetCurrentPosition(60);
    service_.Refresh();
    EXPECT_EQ(NthSeek(count + 2), 60'000'000);
}

TEST_F(MprisTest, MetadataNamesThePlayingFileItsLengthAndItsCurrentSegment) {
    player_.duration_ = 125.5;
    const QString path = MakeFile("第一课 lesson.mp3");
    ListAndOpenFirst({{path, {"A00:01.250B00:03.500"}}});

    const QVariantMap metadata = Metadata();
    EXPECT_EQ(metadata.value("xesam:title").toString(), "第一课 lesson.mp3");
    EXPECT_EQ(QUrl(metadata.value("xesam:url").toString()).toLocalFile(), path);
    EXPECT_EQ(metadata.value("mpris:length").toLongLong(), 125'500'000);
    EXPECT_EQ(metadata.value("xesam:comment").toStringList(), QStringList{"A 00:01.250 - B 00:03.500"});
    const QString track = qvariant_cast<QDBusObjectPath>(metadata.value("mpris:trackid")).path();
    EXPECT_TRUE(track.startsWith("/") && !track.startsWith("/org/mpris")) << track.toStdString();

    const QVariantMap root = qdbus_cast<QVariantMap>(
        Call(kProperties, "GetAll", {QString::fromLatin1(MprisService::kRootInterface)})
            .arguments()
            .value(0));
    EXPECT_EQ(root.value("DesktopEntry").toString(), "io.github.ostrelle.Ostrelle");
    EXPECT_TRUE(root.value("SupportedMimeTypes").toStringList().contains("audio/mpeg"));
}

TEST_F(MprisTest, RateAndVolumeWriteThroughToTheProgram) {
    ListAndOpenFirst({{MakeFile("one.mp3"), {}}});
    const auto set = [&](const char* name, double value) {
        return Call(kProperties, "Set", {kPlayer, name, QVariant::fromValue(QDBusVariant(value))});
    };
    set("Rate", 0.8);
    EXPECT_DOUBLE_EQ(app_.speed().choice().rate, 0.8);
    EXPECT_DOUBLE_EQ(Property("Rate").toDouble(), 0.8);
    EXPECT_TRUE(Announced("Rate", 0.8));
    set("Rate", 5.0);
    EXPECT_DOUBLE_EQ(player_.requestedRate(), MediaPlayer::kMaxRate);
    set("Volume", 0.25);
    EXPECT_EQ(player_.Volume(), 25);
    EXPECT_DOUBLE_EQ(Property("Volume").toDouble(), 0.25);
}

TEST_F(MprisTest, MalformedCallsGetErrorsAndChangeNothing) {
    ListAndOpenFirst({{MakeFile("one.mp3"), {}}});
    player_.SetCurrentPosition(12);
    const QDBusVariant playing(QString("Playing"));
    const struct {
        QString interface;
        const char* method;
        QVariantList args;
        QDBusError::ErrorType error;
    } calls[] = {
        {kPlayer, "Seek", {QString("ten")}, QDBusError::InvalidArgs},
        {kPlayer, "SetPosition", {qlonglong{1}}, QDBusError::InvalidArgs},
        {kPlayer, "Next", {1}, QDBusError::InvalidArgs},
        {kPlayer, "Rewind", {}, QDBusError::UnknownMethod},
        {kPlayer, "OpenUri", {QString("https://example.com/one.mp3")}, QDBusError::InvalidArgs},
        {kPlayer,
         "OpenUri",
         {QUrl::fromLocalFile(MakeFile("setup.sh")).toString()},
         QDBusError::InvalidArgs},  // a file of a kind the program does not open
        {kProperties, "Get", {kPlayer, QString("Lyrics")}, QDBusError::UnknownProperty},
        {kProperties, "Get", {QString("org.example.Nothing"), QString("Rate")}, QDBusError::UnknownInterface},
        {kProperties, "Get", {kPlayer}, QDBusError::InvalidArgs},
        {kProperties,
         "Set",
         {kPlayer, QString("PlaybackStatus"), QVariant::fromValue(playing)},
         QDBusError::PropertyReadOnly},
        {kProperties,
         "Set",
         {kPlayer, QString("Rate"), QVariant::fromValue(playing)},
         QDBusError::InvalidArgs},
        {kProperties,
         "Set",
         {kPlayer, QString("Volume"), QVariant::fromValue(QDBusVariant(-0.5))},
         QDBusError::InvalidArgs},
    };
    for (const auto& call : calls) {
        const QDBusMessage reply = Call(call.interface, call.method, call.args);
        EXPECT_EQ(reply.errorName(), QDBusError::errorString(call.error)) << call.method;
    }
    EXPECT_EQ(player_.CurrentPosition(), 12.0);
    EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
    EXPECT_DOUBLE_EQ(app_.speed().choice().rate, 1.0);
    EXPECT_EQ(player_.Volume(), 50);
}

TEST_F(MprisTest, ASecondInstanceTakesANameOfItsOwn) {
    QDBusConnection second = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "mpris-test-second");
    {
        MprisService other(app_, player_, [] {});
        ASSERT_TRUE(other.Register(second));
        EXPECT_EQ(other.BusName(), QString::fromLatin1(MprisService::kBusName) + ".instance" +
                                       QString::number(QCoreApplication::applicationPid()));
    }
    EXPECT_FALSE(
        client_.interface()->isServiceRegistered(QString::fromLatin1(MprisService::kBusName) + ".instance" +
                                                 QString::number(QCoreApplication::applicationPid())))
        << "a service that goes gives its name back";
    QDBusConnection::disconnectFromBus("mpris-test-second");
}

class MprisWithoutABus : public AppFixture {};

TEST_F(MprisWithoutABus, RegistrationQuietlyDoesNothing) {
    const QByteArray nowhere = "unix:path=/nonexistent/ostrelle-test-bus";
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS") &&
        qgetenv("DBUS_SESSION_BUS_ADDRESS") != nowhere)
        GTEST_SKIP() << "this process may already be connected to the bus it was given";
    static QStringList messages;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { messages << text; });
    MprisService service(app_, player_, [] {});
    qputenv("DBUS_SESSION_BUS_ADDRESS", nowhere);
    EXPECT_FALSE(service.RegisterOnSessionBus());
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    EXPECT_FALSE(service.RegisterOnSessionBus());
    EXPECT_TRUE(service.BusName().isEmpty());
    service.Refresh();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

}  // namespace
}  // namespace ostrelle

#include "mpris_service_test.moc"
