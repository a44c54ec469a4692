// The playlist database on 10,000 rows of 10 segments each, keyed with the program's passphrase: the
// operations the window performs, through the store's public API, against raw SQLite as the baseline.
#include "adapters/sqlcipher/sqlcipher_playlist_store.h"
#include "core/operations/segment_store.h"
#include "support/timing.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#define SQLITE_HAS_CODEC
#include <sqlite3.h>

using namespace ostrelle;

namespace {

// The texts the store runs for its typed queries.
const QString kListedRowsSql = QStringLiteral("select * from playlist where seq=1 order by seq asc");
const QString kAllRowsSql = QStringLiteral("select * from playlist");
const QString kRowByPathSql = QStringLiteral("select * from playlist where savepath = ?");

constexpr int kRows = 10000;
constexpr int kSegmentsPerRow = 10;
const QString kRawKey = QStringLiteral("x'00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff'");

using bench::Median;
using bench::Ms;
using bench::TimeMs;

QString PathOf(int row) {
    return QStringLiteral("/home/learner/新概念英语/Book %1/Lesson %2 - Excuse me.mp3")
        .arg(row % 4 + 1)
        .arg(row);
}

[[noreturn]] void Fail(const char* what, const QString& detail = {}) {
    std::fprintf(stderr, "store_bench: %s %s\n", what, detail.toUtf8().constData());
    std::exit(1);
}

// Setup, not measured: the rows go in through SQL in one transaction, as a long-used list would be.
void InsertFixtureRows(const QString& path, const QString& key) {
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) Fail("open for fill");
    const QByteArray keyBytes = key.toUtf8();
    sqlite3_key_v2(db, "main", keyBytes.constData(), static_cast<int>(keyBytes.size()));
    QByteArray sql = "INSERT INTO playlist (filename, savepath, playtime";
    for (int s = 1; s <= kSegmentsPerRow; ++s)
        sql += ", segment" + QByteArray::number(s);
    sql += ") VALUES (?, ?, ?" + QByteArray(", ?").repeated(kSegmentsPerRow) + ")";
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, sql.constData(), -1, &insert, nullptr) != SQLITE_OK)
        Fail("prepare fill", QString::fromUtf8(sqlite3_errmsg(db)));
    for (int row = 0; row < kRows; ++row) {
        const QByteArray fileName = PathOf(row).section(u'/', -1).toUtf8();
        const QByteArray savePath = PathOf(row).toUtf8();
        const QByteArray playTime = QByteArray::number(row % 60) + ":" + QByteArray::number(10 + row % 50);
        sqlite3_bind_text(insert, 1, fileName.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, savePath.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, playTime.constData(), -1, SQLITE_TRANSIENT);
        for (int s = 0; s < kSegmentsPerRow; ++s) {
            const QByteArray segment = QByteArray::number(s * 12.5 + 0.125, 'f', 3) + "|" +
                                       QByteArray::number(s * 12.5 + 9.875, 'f', 3) + "|Lesson part " +
                                       QByteArray::number(s + 1);
            sqlite3_bind_text(insert, 4 + s, segment.constData(), -1, SQLITE_TRANSIENT);
        }
        if (sqlite3_step(insert) != SQLITE_DONE) Fail("insert", QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) Fail("commit fill");
    sqlite3_close(db);
}

std::unique_ptr<Recordset> Query(SqlCipherPlaylistStore& db, const QString& sql,
                                 const QStringList& args = {}) {
    QueryResult result = db.Execute(sql, args);
    if (!result.value()) Fail("query", FailureMessage(result.failure()));
    return std::move(result.value());
}

// Baseline: the same grid fill straight from SQLite on its own connection, with the store's cache size.
QString RawFill(const QString& path, const QString& key) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    const QByteArray keyBytes = key.toUtf8();
    sqlite3_key_v2(db, "main", keyBytes.constData(), static_cast<int>(keyBytes.size()));
    sqlite3_exec(db, "PRAGMA cache_size = -16384", nullptr, nullptr, nullptr);  // derives the key too
    std::vector<double> runs;
    for (int run = 0; run < 7; ++run) {
        runs.push_back(TimeMs([&] {
            const QByteArray sql = kListedRowsSql.toUtf8();
            sqlite3_stmt* statement = nullptr;
            sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr);
            qsizetype chars = 0;
            while (sqlite3_step(statement) == SQLITE_ROW) {
                for (int field = kFileNameField; field <= kPlayTimeField; ++field)
                    chars += QString::fromUtf8(
                                 reinterpret_cast<const char*>(sqlite3_column_text(statement, field)))
                                 .size();
            }
            sqlite3_finalize(statement);
            if (chars == 0) Fail("raw fill read nothing");
        }));
    }
    sqlite3_close(db);
    return QStringLiteral("median %1 ms (first %2)").arg(Median(runs), 0, 'f', 2).arg(runs[0], 0, 'f', 2);
}

}  // namespace

int main() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quillan.mdb"));
    const QString passphrase = QString::fromLatin1(SqlCipherPlaylistStore::kPassword);

    // Key derivation: paid once per process, when the program opens the database. Measured on two empty
    // databases, one keyed by the passphrase and one by a raw key; the difference is the derivation.
    const QString emptyByPassphrase = dir.filePath(QStringLiteral("passphrase.mdb"));
    const QString emptyByRawKey = dir.filePath(QStringLiteral("rawkey.mdb"));
    if (!OpenPlaylistStore(emptyByPassphrase).ok() || !OpenPlaylistStore(emptyByRawKey, kRawKey).ok())
        Fail("create empty databases");
    std::vector<double> passphraseMs, rawKeyMs, fullOpenMs;
    for (int run = 0; run < 7; ++run) {
        passphraseMs.push_back(TimeMs([&] {
            if (!OpenPlaylistStore(emptyByPassphrase).ok()) Fail("open with passphrase");
        }));
        rawKeyMs.push_back(TimeMs([&] {
            if (!OpenPlaylistStore(emptyByRawKey, kRawKey).ok()) Fail("open with raw key");
        }));
    }
    const double derivationMs = Median(passphraseMs) - Median(rawKeyMs);

    if (!OpenPlaylistStore(path).ok()) Fail("create");
    InsertFixtureRows(path, passphrase);
    for (int run = 0; run < 5; ++run) {
        fullOpenMs.push_back(TimeMs([&] {
            if (!OpenPlaylistStore(path).ok()) Fail("open the filled database");
        }));
    }
    std::printf(
        "key derivation: %.2f ms (empty database opened with the passphrase %.2f ms, with a raw key %.2f "
        "ms)\n",
        derivationMs, Median(passphraseMs), Median(rawKeyMs));
    std::printf(
        "open of the %d-row database with the passphrase: %.2f ms (derivation and the check of every page)\n",
        kRows, Median(fullOpenMs));

    OpenResult opened = OpenPlaylistStore(path);  // the passphrase, as the program opens it
    if (!opened.ok()) Fail("open", FailureMessage(opened.failure()));
    SqlCipherPlaylistStore& db = *opened.value();
    std::mt19937 random(1);
    std::uniform_int_distribution<int> anyRow(0, kRows - 1);

    // (a) Grid fill: the listed rows, walked to the end, reading file name, path and play time.
    std::vector<double> fillRuns;
    int listed = 0;
    for (int run = 0; run < 7; ++run) {
        fillRuns.push_back(TimeMs([&] {
            auto rs = Query(db, kListedRowsSql);
            listed = 0;
            qsizetype chars = 0;
            for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext(), ++listed) {
                for (int field = kFileNameField; field <= kPlayTimeField; ++field)
                    chars += rs->Field(field).value_or(QString()).size();
            }
            if (chars == 0) Fail("fill read nothing");
        }));
    }
    if (listed != kRows) Fail("fill listed", QString::number(listed));
    const double fillMs = Median(fillRuns);
    std::printf(
        "fill: %d rows, median %.2f ms of %zu runs (first %.2f, min %.2f, max %.2f); raw SQLite baseline "
        "%s\n",
        listed, fillMs, fillRuns.size(), fillRuns[0], *std::min_element(fillRuns.begin(), fillRuns.end()),
        *std::max_element(fillRuns.begin(), fillRuns.end()), RawFill(path, passphrase).toUtf8().constData());

    // (b) Lookup by path.
    std::vector<double> lookupRuns;
    for (int run = 0; run < 200; ++run) {
        const QString wanted = PathOf(anyRow(random));
        lookupRuns.push_back(TimeMs([&] {
            auto rs = Query(db, kRowByPathSql, {wanted});
            if (rs->Eof()) Fail("lookup found nothing");
        }));
    }
    const double lookupMs = Median(lookupRuns);
    std::printf("lookup: median %.3f ms of %zu, max %.3f ms\n", lookupMs, lookupRuns.size(),
                *std::max_element(lookupRuns.begin(), lookupRuns.end()));

    // (c) Storing a segment as setting B does: lookup, first free slot, one transaction.
    SegmentStore segments(&db);
    std::vector<double> storeRuns;
    for (int run = 0; run < 100; ++run) {
        const QString wanted = PathOf(anyRow(random));
        storeRuns.push_back(TimeMs([&] {
            const Result<void> failure =
                segments.StoreSegment(wanted, {MarkTime::At(61), MarkTime::At(64)}, 0);
            if (!failure.ok()) Fail("store", FailureMessage(failure.failure()));
        }));
    }
    const double storeMs = Median(storeRuns);
    std::printf("store_segment: median %.3f ms of %zu, max %.3f ms\n", storeMs, storeRuns.size(),
                *std::max_element(storeRuns.begin(), storeRuns.end()));

    // (d) Loading a file's segments as LoadABList does: lookup, then the slots up to the first Null.
    std::vector<double> loadRuns;
    for (int run = 0; run < 200; ++run) {
        const QString wanted = PathOf(anyRow(random));
        std::optional<Result<LoadedSegments>> loaded;
        loadRuns.push_back(TimeMs([&] { loaded.emplace(segments.LoadABList(wanted)); }));
        if (!loaded->ok() || static_cast<int>(loaded->value().list.size()) < kSegmentsPerRow)
            Fail("load found too few segments");
    }
    const double loadMs = Median(loadRuns);
    std::printf("load_ablist: median %.3f ms of %zu, max %.3f ms\n", loadMs, loadRuns.size(),
                *std::max_element(loadRuns.begin(), loadRuns.end()));

    // (e) Clearing the list, on a freshly filled table each time.
    std::vector<double> clearRuns;
    for (int run = 0; run < 3; ++run) {
        if (run > 0) InsertFixtureRows(path, passphrase);
        clearRuns.push_back(TimeMs([&] {
            if (const Result<void> cleared = db.DeleteAll(); !cleared.ok())
                Fail("clear", FailureMessage(cleared.failure()));
        }));
        if (!Query(db, kAllRowsSql)->Eof()) Fail("rows left after clear");
    }
    const double clearMs = Median(clearRuns);
    std::printf("clear: median %.2f ms of %zu (each on %d rows)\n", clearMs, clearRuns.size(), kRows);

    std::printf(
        "store rows=%d fill_ms=%.2f lookup_ms=%.2f store_segment_ms=%.2f load_ablist_ms=%.2f clear_ms=%.2f\n",
        kRows, fillMs, lookupMs, storeMs, loadMs, clearMs);
    return 0;
}
