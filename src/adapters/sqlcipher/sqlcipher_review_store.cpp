// The hard sentences and the practice diary, in tables of the playlist database.
#include "adapters/sqlcipher/sqlcipher_playlist_store.h"
#include "adapters/sqlcipher/sqlcipher_recordset.h"

#include <algorithm>

namespace ostrelle {
namespace {

const QString kColumns = QStringLiteral(
    "path, a_ms, b_ms, segment, reason, since_ms, text, phase, step, stability, difficulty, due_ms, last_ms, "
    "reviews, lapses");

QString Number(qint64 value) {
    return QString::number(value);
}

QString Number(double value) {
    return QString::number(value, 'g', 17);
}

Result<std::vector<HardSentence>> ReadHard(QueryResult result) {
    if (!result.ok()) return result.failure();
    std::vector<HardSentence> sentences;
    for (Recordset& row = *result.value(); !row.Eof(); row.MoveNext()) {
        const auto text = [&row](int at) { return row.Field(at).value_or(QString()); };
        const auto whole = [&text](int at) { return text(at).toLongLong(); };
        HardSentence sentence;
        sentence.path = text(0);
        sentence.aMs = whole(1);
        sentence.bMs = whole(2);
        sentence.segment = whole(3) != 0;
        sentence.reason = static_cast<HardSentence::Reason>(std::clamp<qint64>(whole(4), 0, 2));
        sentence.sinceMs = whole(5);
        sentence.text = text(6);
        sentence.memory.phase = static_cast<CardPhase>(std::clamp<qint64>(whole(7), 1, 3));
        sentence.memory.step = static_cast<int>(whole(8));
        sentence.memory.stability = text(9).toDouble();
        sentence.memory.difficulty = text(10).toDouble();
        sentence.memory.dueMs = whole(11);
        sentence.memory.lastReviewMs = whole(12);
        sentence.reviews = static_cast<int>(whole(13));
        sentence.lapses = static_cast<int>(whole(14));
        sentences.push_back(std::move(sentence));
    }
    return sentences;
}

Result<void> Done(const QueryResult& result) {
    if (!result.ok()) return result.failure();
    return {};
}

}  // namespace

Result<void> SqlCipherPlaylistStore::KeepHard(const HardSentence& s) {
    const CardMemory& m = s.memory;
    return Done(Execute(
        QStringLiteral("insert or replace into hard_sentences (%1) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
            .arg(kColumns),
        {s.path, Number(s.aMs), Number(s.bMs), Number(qint64{s.segment}), Number(qint64(s.reason)),
         Number(s.sinceMs), s.text, Number(qint64(m.phase)), Number(qint64{m.step}), Number(m.stability),
         Number(m.difficulty), Number(m.dueMs), Number(m.lastReviewMs), Number(qint64{s.reviews}),
         Number(qint64{s.lapses})}));
}

Result<void> SqlCipherPlaylistStore::ForgetHard(const QString& path, qint64 aMs, qint64 bMs) {
    return Done(Execute(QStringLiteral("delete from hard_sentences where path = ? and a_ms = ? and b_ms = ?"),
                        {path, Number(aMs), Number(bMs)}));
}

Result<std::vector<HardSentence>> SqlCipherPlaylistStore::HardSentences(const QString& path) {
    if (path.isEmpty())
        return ReadHard(
            Execute(QStringLiteral("select %1 from hard_sentences order by path, a_ms, b_ms").arg(kColumns)));
    return ReadHard(Execute(
        QStringLiteral("select %1 from hard_sentences where path = ? order by a_ms, b_ms").arg(kColumns),
        {path}));
}

Result<std::vector<HardSentence>> SqlCipherPlaylistStore::DueHard(qint64 untilMs) {
    return ReadHard(
        Execute(QStringLiteral("select %1 from hard_sentences where due_ms <= ? order by due_ms, path, a_ms")
                    .arg(kColumns),
                {Number(untilMs)}));
}

Result<void> SqlCipherPlaylistStore::MoveHard(const QString& path, std::pair<qint64, qint64> from,
                                              std::pair<qint64, qint64> to) {
    if (from == to) return {};
    // Moved onto another kept span: the moved one's state wins, as it is the segment that stays.
    return Done(
        Execute(QStringLiteral("update or replace hard_sentences set a_ms = ?, b_ms = ? "
                               "where path = ? and a_ms = ? and b_ms = ?"),
                {Number(to.first), Number(to.second), path, Number(from.first), Number(from.second)}));
}

Result<void> SqlCipherPlaylistStore::KeepHardSegmentsOnly(
    const QString& path, const std::vector<std::pair<qint64, qint64>>& spans) {
    Result<std::vector<HardSentence>> kept = HardSentences(path);
    if (!kept.ok()) return kept.failure();
    for (const HardSentence& sentence : kept.value()) {
        if (!sentence.segment ||
            std::find(spans.begin(), spans.end(), std::pair{sentence.aMs, sentence.bMs}) != spans.end())
            continue;
        if (Result<void> forgotten = ForgetHard(path, sentence.aMs, sentence.bMs); !forgotten.ok())
            return forgotten;
    }
    return {};
}

Result<void> SqlCipherPlaylistStore::AddPractice(const PracticeDay& more) {
    if (!more.day.isValid()) return Failure{FailureCode::DatabaseRefused, QStringLiteral("日期无效")};
    // The store's SQLite has no upsert: a day's row is made empty first, then added to.
    const QString day = more.day.toString(Qt::ISODate);
    if (Result<void> made =
            Done(Execute(QStringLiteral("insert or ignore into practice_days (day) values (?)"), {day}));
        !made.ok())
        return made;
    return Done(
        Execute(QStringLiteral("update practice_days set played_ms = played_ms + ?, passes = passes + ?, "
                               "takes = takes + ?, dictated = dictated + ?, reviewed = reviewed + ? "
                               "where day = ?"),
                {Number(more.playedMs), Number(qint64{more.passes}), Number(qint64{more.takes}),
                 Number(qint64{more.dictated}), Number(qint64{more.reviewed}), day}));
}

Result<std::vector<PracticeDay>> SqlCipherPlaylistStore::PracticeDays(const QDate& first, const QDate& last) {
    QueryResult result =
        Execute(QStringLiteral("select day, played_ms, passes, takes, dictated, reviewed from practice_days "
                               "where day between ? and ? order by day"),
                {first.toString(Qt::ISODate), last.toString(Qt::ISODate)});
    if (!result.ok()) return result.failure();
    std::vector<PracticeDay> days;
    for (Recordset& row = *result.value(); !row.Eof(); row.MoveNext()) {
        const auto whole = [&row](int at) { return row.Field(at).value_or(QString()).toLongLong(); };
        days.push_back({QDate::fromString(row.Field(0).value_or(QString()), Qt::ISODate), whole(1),
                        static_cast<int>(whole(2)), static_cast<int>(whole(3)), static_cast<int>(whole(4)),
                        static_cast<int>(whole(5))});
    }
    return days;
}

}  // namespace ostrelle
