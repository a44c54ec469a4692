#include "adapters/qt/qt_dialogs.h"
#include "view/about_window.h"
#include "view/pictures.h"
#include "view/seek_bar.h"
#include "view/waveform_strip.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>

namespace ostrelle {
namespace {

// Peaks of a steady level, as a decoded file would give them.
class SteadyWaveform : public WaveformSource {
public:
    SteadyWaveform(qint64 lengthMs, float level) : lengthMs_(lengthMs), level_(level) {}
    void Load(const QString& path) override {
        peaks_ = {};
        peaks_.path = path;
        peaks_.durationMs = lengthMs_;
        peaks_.complete = true;
        peaks_.min.assign(static_cast<std::size_t>(lengthMs_ / peaks_.bucketMs), -level_);
        peaks_.max.assign(peaks_.min.size(), level_);
    }
    void LoadRange(const QString& /*path*/, qint64 /*startMs*/, qint64 /*endMs*/) override {}
    void Cancel() override {}
    const WaveformPeaks& Peaks() const override { return peaks_; }
    const WaveformPeaks& RangePeaks() const override { return range_; }

private:
    qint64 lengthMs_;
    float level_;
    WaveformPeaks peaks_;
    WaveformPeaks range_;
};

TEST(WaveformStripTest, ASegmentsTakeIsDrawnUnderItFromAOnTheSameScale) {
    SteadyWaveform file(10000, 0.5f);
    SteadyWaveform take(1000, 0.9f);
    WaveformStrip strip(&file, &take);
    strip.resize(1000, WaveformStrip::kHeight);
    strip.show();
    WaveformStrip::Scene scene;
    scene.path = QStringLiteral("lesson.mp3");
    scene.durationSeconds = 10;
    scene.segments = {{MarkTime::At(2.0), MarkTime::At(3.5)}};
    scene.current = 0;
    const auto colourAt = [&](double seconds, int y) {
        return strip.grab().toImage().pixelColor(std::lround(strip.XOfSeconds(seconds)), y);
    };
    const auto isTake = [](const QColor& c) { return c.red() > 200 && c.red() > c.green(); };
    const auto isFile = [](const QColor& c) { return c.green() > 150 && c.green() > c.red(); };
    const int upper = WaveformStrip::kHeight / 4;
    const int lower = WaveformStrip::kHeight * 3 / 4;
    const int justAboveMiddle = WaveformStrip::kHeight / 2 - 5;

    strip.SetScene(scene);
    EXPECT_TRUE(isFile(colourAt(1, justAboveMiddle))) << "without a take the file fills the strip";
    EXPECT_FALSE(isTake(colourAt(2.5, lower)));

    scene.take = QStringLiteral("take.wav");
    strip.SetScene(scene);
    EXPECT_TRUE(isFile(colourAt(1, upper)));
    EXPECT_FALSE(isFile(colourAt(1, justAboveMiddle))) << "the file keeps to the upper half";
    EXPECT_FALSE(isTake(colourAt(1.9, lower))) << "nothing of the take before A";
    EXPECT_TRUE(isTake(colourAt(2.1, lower)));
    EXPECT_TRUE(isTake(colourAt(2.9, lower)));
    EXPECT_FALSE(isTake(colourAt(3.1, lower))) << "the take is a second long";
}

TEST(AboutWindow, ShowsItsTitleAndClosesWithItsButton) {
    AboutWindow about;
    about.show();
    EXPECT_EQ(about.windowTitle(), QString::fromUtf8("关于"));
    EXPECT_EQ(about.CloseButton()->text(), QString::fromUtf8("关闭"));
    about.CloseButton()->click();
    EXPECT_FALSE(about.isVisible());
}

TEST(SeekBar, AClickSeeksToTheTimeUnderIt) {
    SeekBar bar;
    bar.resize(200, 16);
    std::vector<double> seeks;
    bar.SetSeekHandler([&](double seconds) { seeks.push_back(seconds); });
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(50, 8));
    EXPECT_TRUE(seeks.empty()) << "nothing to seek before the length is known";
    bar.SetPosition(0, 120);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(50, 8));
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(200, 8));
    EXPECT_EQ(seeks, (std::vector<double>{30.0, 120.0}));
}

TEST(Pictures, TheFlagsAreDrawnPixelByPixel) {
    const QImage a = MarkFlag(0);
    const QImage b = MarkFlag(1);
    ASSERT_EQ(a.size(), QSize(39, 24));
    EXPECT_EQ(a.pixelColor(0, 0).alpha(), 0) << "row 0 is transparent";
    EXPECT_EQ(a.pixelColor(18, 23).alpha(), 0) << "row 23 is transparent";
    EXPECT_EQ(a.pixelColor(10, 8), QColor(255, 255, 0));
    EXPECT_EQ(a.pixelColor(0, 8), QColor(255, 255, 153)) << "A has a light outline";
    EXPECT_EQ(b.pixelColor(10, 8), QColor(255, 0, 255));
    for (int x = 0; x < 39; ++x)
        EXPECT_EQ(b.pixelColor(x, 22).alpha() != 0, x == 18) << x;
    for (int x = 0; x < 39; ++x)
        EXPECT_EQ(b.pixelColor(x, 17).alpha() != 0, x >= 13 && x <= 23) << x;
    // Flags standing aside point from the end of their bars, their tips as wide.
    const QImage left = MarkFlag(0, 1, FlagTip::Right);
    const QImage right = MarkFlag(1, 1, FlagTip::Left);
    for (int x = 0; x < 39; ++x) {
        EXPECT_EQ(left.pixelColor(x, 22).alpha() != 0, x == 38) << x;
        EXPECT_EQ(left.pixelColor(x, 17).alpha() != 0, x >= 28) << x;
        EXPECT_EQ(right.pixelColor(x, 22).alpha() != 0, x == 0) << x;
        EXPECT_EQ(right.pixelColor(x, 17).alpha() != 0, x <= 10) << x;
    }
}

TEST(Pictures, AtTwiceTheDensityThePicturesAreDrawnOnTheFinerPixels) {
    const QImage strip = PlaylistHeadingStrip(2);
    EXPECT_EQ(strip.devicePixelRatio(), 2);
    ASSERT_EQ(strip.size(), QSize(436, 32));
    // A separator covers exactly two device columns: nothing blurred on either side.
    for (const auto& [x, colour] : {std::pair{39, QColor(255, 0, 255)}, std::pair{40, QColor(Qt::white)},
                                    std::pair{41, QColor(Qt::white)}, std::pair{42, QColor(255, 0, 255)}})
        EXPECT_EQ(strip.pixelColor(x, 3), colour) << x;

    for (int index = 0; index < 2; ++index) {
        const QImage flag = MarkFlag(index, 2);
        EXPECT_EQ(flag.devicePixelRatio(), 2);
        ASSERT_EQ(flag.size(), QSize(78, 48));
        EXPECT_EQ(flag.pixelColor(20, 16), MarkFlag(index).pixelColor(10, 8));
        EXPECT_EQ(flag.pixelColor(1, 16), MarkFlag(index).pixelColor(0, 8))
            << "the outline is a flag pixel wide";
        // The tip narrows on every device row, where a flag scaled up would narrow every other one.
        const auto widthOfRow = [&flag](int row) {
            int opaque = 0;
            for (int x = 0; x < flag.width(); ++x)
                opaque += flag.pixelColor(x, row).alpha() != 0;
            return opaque;
        };
        for (int row = 34; row < 44; ++row)
            EXPECT_GT(widthOfRow(row), widthOfRow(row + 1)) << row;
    }
}

TEST(Pictures, TheHeadingStripIsMagentaWithWhiteSeparators) {
    const QImage strip = PlaylistHeadingStrip();
    ASSERT_EQ(strip.size(), QSize(218, 16));
    EXPECT_EQ(strip.pixelColor(20, 2), QColor(Qt::white));
    EXPECT_EQ(strip.pixelColor(140, 14), QColor(Qt::white));
    EXPECT_EQ(strip.pixelColor(1, 1), QColor(255, 0, 255));
}

TEST(QtFileFilter, DescriptionsKeepTheirPatternsInEitherCase) {
    EXPECT_EQ(QtFileFilter(QString::fromUtf8("播放列表(*.M3U)|*.M3U|所有文件(*.*)|*.*")),
              QString::fromUtf8("播放列表 (*.M3U *.m3u);;所有文件 (*.*)"));
    EXPECT_EQ(QtFileFilter(QString::fromUtf8("声音文件(*.wav)|*.wav ")),
              QString::fromUtf8("声音文件 (*.wav *.WAV)"));
    // Several patterns, apart by ";" or by spaces.
    EXPECT_EQ(QtFileFilter(QString::fromUtf8("所有音频(*.mp3;*.Opus)|*.mp3;*.Opus|两种(*.a *.b)|*.a  *.b")),
              QString::fromUtf8("所有音频 (*.mp3 *.MP3 *.Opus *.opus *.OPUS);;两种 (*.a *.A *.b *.B)"));
}

TEST(QtDialogs, EachKindOfMessageHasItsIconAndButtons) {
    QtDialogs dialogs;
    for (const auto& [kind, icon, answer] :
         {std::tuple{MessageKind::Error, QMessageBox::Critical, MessageAnswer::Ok},
          std::tuple{MessageKind::Warning, QMessageBox::Warning, MessageAnswer::Ok},
          std::tuple{MessageKind::Information, QMessageBox::Information, MessageAnswer::Ok},
          std::tuple{MessageKind::Question, QMessageBox::Question, MessageAnswer::No}}) {
        QMessageBox::Icon shown = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            shown = box->icon();
            box->reject();  // Escape: No for a question
        });
        EXPECT_EQ(dialogs.ShowMessage(QStringLiteral("text"), MessageTitle(), kind), answer);
        EXPECT_EQ(shown, icon);
    }
}

// The message after a long task must be the one modal window: a progress window left over would block it.
TEST(QtDialogs, AFinishedTasksProgressWindowIsGoneBeforeTheNextMessageAndAChoiceNamesItsButton) {
    QWidget parent;
    parent.show();
    QtDialogs dialogs(&parent);
    dialogs.ReportProgress(QStringLiteral("working"), 0, 4);
    auto* progress = parent.findChild<QProgressDialog*>();
    ASSERT_NE(progress, nullptr);
    progress->show();  // as it shows itself once the task has run a while
    dialogs.ReportProgress(QString(), 4, 4);
    EXPECT_EQ(parent.findChild<QProgressDialog*>(), nullptr);

    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* button : box->buttons())
            if (button->text() == QStringLiteral("two")) button->click();
    });
    EXPECT_EQ(dialogs.Choose(QStringLiteral("which?"), {QStringLiteral("one"), QStringLiteral("two")}), 1);
}

TEST(QtDialogs, ANameTypedWithoutAnExtensionIsSavedWithTheFiltersOne) {
    EXPECT_EQ(DefaultSuffix(QString::fromUtf8("所有文件(*.*)|*.*")), QString());
    QTemporaryDir dir;
    QtDialogs dialogs;
    for (const auto& [filter, typed, saved] : {std::tuple{"播放列表(*.M3U)|*.M3U ", "第一课", "第一课.m3u"},
                                               std::tuple{"声音文件(*.wav)|*.wav ", "me", "me.wav"},
                                               std::tuple{"声音文件(*.wav)|*.wav ", "me.WAV", "me.WAV"}}) {
        QTimer::singleShot(0, [&, typed = typed] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(dir.filePath(QString::fromUtf8(typed)));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const FileChoice choice = dialogs.SaveFile(QString::fromUtf8(filter), QString());
        EXPECT_EQ(choice.fileName, dir.filePath(QString::fromUtf8(saved)));
    }
}

}  // namespace
}  // namespace ostrelle
