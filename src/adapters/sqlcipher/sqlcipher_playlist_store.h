#pragma once

#include "core/ports/dictation_scores.h"
#include "core/ports/length_store.h"
#include "core/ports/playlist_store.h"
#include "core/ports/review_store.h"
#include "core/ports/take_scorer.h"

#include <QStringList>

#include <memory>

namespace ostrelle {

namespace sqlcipher {
struct Connection;
}

// The playlist store on SQLCipher: one connection per process, table playlist created when the file is
// new. A file that cannot be read with the key is reported, never overwritten or deleted. Measured
// lengths, dictation scores, shadowing takes' scores, hard sentences and the practice diary are kept in
// tables of their own (durations, dictation_scores, take_scores, hard_sentences, practice_days), made when
// missing.
class SqlCipherPlaylistStore final : public PlaylistStore,
                                     public LengthStore,
                                     public DictationScores,
                                     public TakeScoreHistory,
                                     public ReviewStore,
                                     public PracticeLog {
public:
    static constexpr const char* kPassword = "73940268";

    explicit SqlCipherPlaylistStore(std::shared_ptr<sqlcipher::Connection> connection);

    QueryResult ListedRows() override;
    QueryResult AllRows() override;
    QueryResult RowFor(const QString& path) override;
    Result<void> DeleteAll() override;
    Result<void> Unlist(const QString& path) override;
    Result<void> UnlistAll() override;
    Result<void> Relist(const QString& path) override;
    QString Path() const override;

    std::optional<KeptLength> KeptLengthOf(const QString& path) override;
    Result<void> KeepLengths(const std::vector<std::pair<QString, KeptLength>>& lengths) override;

    Result<void> KeepScore(const QString& path, qint64 lineMs, int percent) override;
    Result<std::map<qint64, int>> ScoresOf(const QString& path) override;

    Result<void> KeepTakeScore(const QString& path, qint64 aMs, qint64 bMs, const Entry& entry) override;
    Result<std::vector<Entry>> TakeScoresOf(const QString& path, qint64 aMs, qint64 bMs, int count) override;

    Result<void> KeepHard(const HardSentence& sentence) override;
    Result<void> ForgetHard(const QString& path, qint64 aMs, qint64 bMs) override;
    Result<std::vector<HardSentence>> HardSentences(const QString& path = {}) override;
    Result<std::vector<HardSentence>> DueHard(qint64 untilMs) override;
    Result<void> MoveHard(const QString& path, std::pair<qint64, qint64> from,
                          std::pair<qint64, qint64> to) override;
    Result<void> KeepHardSegmentsOnly(const QString& path,
                                      const std::vector<std::pair<qint64, qint64>>& spans) override;

    Result<void> AddPractice(const PracticeDay& more) override;
    Result<std::vector<PracticeDay>> PracticeDays(const QDate& first, const QDate& last) override;

    // One SQL command for tools, tests and benchmarks that set up or inspect a table directly. A command
    // whose first word is INSERT, DELETE or UPDATE (any case) runs in one transaction and gives no
    // recordset; any other must be a select. Parameters are bound to the "?" in order.
    QueryResult Execute(const QString& commandText, const QStringList& parameters = {});

private:
    // Runs each command with path bound to its "?" (if any), all in one transaction.
    Result<void> WriteTogether(std::initializer_list<QByteArray> commands, const QString& path = {});

    std::shared_ptr<sqlcipher::Connection> connection_;
};

// The opened store, or why it could not be opened.
using OpenResult = Result<std::unique_ptr<SqlCipherPlaylistStore>>;

// key is the passphrase, or a raw key written as x'64 hex digits' (no key derivation: for tests).
OpenResult OpenPlaylistStore(const QString& path,
                             const QString& key = QString::fromLatin1(SqlCipherPlaylistStore::kPassword));

}  // namespace ostrelle
