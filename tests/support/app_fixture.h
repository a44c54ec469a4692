#pragma once

#include "adapters/sqlcipher/sqlcipher_playlist_store.h"
#include "core/formats/segment_text.h"
#include "core/operations/controller.h"
#include "support/fake_duration_meter.h"
#include "support/fake_take_scorer.h"
#include "support/fake_wave_device.h"
#include "support/scripted_dialogs.h"
#include "support/simulated_player.h"
#include "support/test_database.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace ostrelle {

// A segment from its two time texts, as a list holds them.
inline ABPair Segment(const char* a, const char* b) {
    return {ReadMark(QString::fromLatin1(a)), ReadMark(QString::fromLatin1(b))};
}

// The controller with a simulated player, scripted dialogs, a fake length meter and a real database in a
// temporary folder; the recorder's device is a fake unless a test needs a real one.
template <typename Device>
class AppFixtureWith : public ::testing::Test {
protected:
    AppFixtureWith()
        : db_(OpenDatabase()),
          app_({player_, dialogs_, probe_, device_, db_.get(), db_.get(), nullptr, db_.get(), nullptr,
                &takeScorer_, db_.get(), db_.get(), db_.get(), nullptr, nullptr, [this] { return nowMs_; }},
               {dir_.path(), dir_.path()}) {
        player_.SetAutoStart(false);
        SetupPlaylistGrid(app_.window().playlistGrid);
    }

    std::unique_ptr<SqlCipherPlaylistStore> OpenDatabase() {
        OpenResult opened = OpenPlaylistStore(dir_.filePath(QStringLiteral("quillan.mdb")), kTestKey);
        EXPECT_TRUE(opened.ok()) << FailureMessage(opened.failure()).toStdString();
        return std::move(opened.value());
    }

    // The window as the learner would see it now: presented from the session, as before each render.
    Window& window() {
        app_.UpdateDerivedStates();
        return app_.window();
    }
    PlayerState& state() { return app_.state(); }
    // The A and B the learner sees, as a list writes them: a waiting A, else the repeated segment's; empty
    // when there is none.
    QString APoint() {
        if (state().pendingA) return WrittenMark(*state().pendingA);
        const ABPair* segment = state().RepeatedSegment();
        return segment ? WrittenMark(segment->a) : QString();
    }
    QString BPoint() {
        const ABPair* segment = state().RepeatedSegment();
        return segment ? WrittenMark(segment->b) : QString();
    }
    bool Pausing() { return state().run == PlayerState::RunPhase::Pausing; }
    GridModel& grid() { return app_.window().playlistGrid; }

    // Adds a table row; slots are segment texts from the first slot on.
    void AddRow(const QString& path, const QString& duration = QStringLiteral("1:00"),
                const std::vector<std::optional<QString>>& slots = {}, bool listed = true) {
        QueryResult result = db_->AllRows();
        ASSERT_TRUE(result.ok());
        Recordset& row = *result.value();
        row.AddNew();
        row.SetField(kFileNameField, path.section(u'/', -1));
        row.SetField(kSavePathField, path);
        row.SetField(kPlayTimeField, duration);
        for (size_t i = 0; i < slots.size(); ++i)
            row.SetField(kFirstSegmentField + static_cast<int>(i), slots[i]);
        ASSERT_TRUE(row.Update().ok());
        if (!listed) {
            const QString unlist = QStringLiteral("update playlist set seq=0 where savepath=?");
            ASSERT_TRUE(db_->Execute(unlist, {path}).ok());
        }
    }

    int TableRows() {
        QueryResult result = db_->AllRows();
        return !result.ok() ? -1 : result.value()->RecordCount();
    }

    // A real (empty) file, so that existence tests pass.
    QString MakeFile(const QString& name) {
        const QString path = dir_.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return path;
    }

    QTemporaryDir dir_;
    SimulatedPlayer player_;
    ScriptedDialogs dialogs_;
    FakeDurationMeter probe_;  // lengths are measured when the test delivers them
    Device device_;
    std::unique_ptr<SqlCipherPlaylistStore> db_;
    FakeTakeScorer takeScorer_;
    // The review's clock: a morning, moved on by the test.
    qint64 nowMs_ = QDateTime(QDate(2026, 12, 9), QTime(10, 0)).toMSecsSinceEpoch();
    Controller app_;
};

using AppFixture = AppFixtureWith<FakeWaveDevice>;

}  // namespace ostrelle
