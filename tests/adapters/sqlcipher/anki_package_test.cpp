#include "adapters/sqlcipher/anki_package_writer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

// Only to read the collection as Anki would: plain SQLite, no key.
#define SQLITE_HAS_CODEC
#include <sqlcipher/sqlite3.h>

namespace ostrelle {
namespace {

constexpr qint64 kNowMs = 1'765'000'000'123;

// Every entry of a zip by name, read with libzip as an importer would.
std::map<QString, QByteArray> Unzip(const QString& path) {
    std::map<QString, QByteArray> entries;
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive) return entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t stat;
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        if (!file || zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0) continue;
        QByteArray bytes(static_cast<qsizetype>(stat.size), '\0');
        if (zip_fread(file, bytes.data(), stat.size) == static_cast<zip_int64_t>(stat.size))
            entries[QString::fromUtf8(stat.name)] = bytes;
        zip_fclose(file);
    }
    zip_close(archive);
    return entries;
}

// The collection of a package, opened from a file of its own.
class Collection {
public:
    Collection(const QByteArray& bytes, const QString& path) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()) file.close();
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READONLY, nullptr);
    }
    ~Collection() { sqlite3_close_v2(db_); }
    Collection(const Collection&) = delete;
    Collection& operator=(const Collection&) = delete;

    // All rows as texts, "NULL" for Null; no rows when the query fails.
    std::vector<std::vector<QString>> Rows(const char* sql) {
        std::vector<std::vector<QString>> rows;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) return rows;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            std::vector<QString>& row = rows.emplace_back();
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
                row.push_back(text ? QString::fromUtf8(text) : QStringLiteral("NULL"));
            }
        }
        sqlite3_finalize(statement);
        return rows;
    }
    QJsonObject Json(const char* column) {
        const auto rows = Rows((std::string("SELECT ") + column + " FROM col").c_str());
        return rows.size() == 1 ? QJsonDocument::fromJson(rows[0][0].toUtf8()).object() : QJsonObject();
    }

private:
    sqlite3* db_ = nullptr;
};

class AnkiPackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // A folder with a quote and Chinese letters, as a learner's may be.
        ASSERT_TRUE(QDir(dir_.path()).mkpath(QString::fromUtf8("课文 \"一\"")));
    }
    QString Folder() const { return dir_.filePath(QString::fromUtf8("课文 \"一\"")); }
    QString PackagePath() const { return Folder() + QString::fromUtf8("/句子.apkg"); }

    QString Clip(const QString& name, const QByteArray& bytes) {
        const QString path = Folder() + u'/' + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    AnkiCard Card(int index, const QString& front, const QString& back) {
        const QString key = QStringLiteral("/lessons/one.mp3|%1").arg(index);
        const QString sound = QStringLiteral("ostrelle-one-%1.ogg").arg(index);
        return {StableAnkiGuid(key),
                StableAnkiId(key),
                sound,
                Clip(sound, "OggS clip " + QByteArray::number(index) + QByteArray(index * 100, '\x7f')),
                front,
                back,
                QString::fromUtf8("第一课"),
                {QStringLiteral("ostrelle"), QStringLiteral("lesson one")}};
    }
    AnkiDeck ThreeCards() {
        AnkiDeck deck{
            QString::fromUtf8("Ostrelle::第一课 \"one\""), StableAnkiId(QStringLiteral("deck|one")), {}};
        deck.cards.push_back(Card(1, QString(), QString::fromUtf8("你好，世界。")));
        deck.cards.push_back(
            Card(2, QStringLiteral("_ is < 3"), QStringLiteral("Two is < 3 & \"true\"\nnext line")));
        deck.cards.push_back(Card(3, QStringLiteral("three"), QStringLiteral("Three.")));
        return deck;
    }
    bool OnlyThePackageIsBesideTheClips(int clips) const {
        return QDir(Folder()).entryList(QDir::Files | QDir::Hidden).size() == clips + 1;
    }

    QTemporaryDir dir_;
};

TEST_F(AnkiPackageTest, APackageOpensAsAPlainCollectionWhoseNotesNameTheirClips) {
    const AnkiDeck deck = ThreeCards();
    ASSERT_TRUE(WriteAnkiPackage(deck, PackagePath(), kNowMs).ok());
    EXPECT_TRUE(OnlyThePackageIsBesideTheClips(3)) << "no temporary file is left";

    auto entries = Unzip(PackagePath());
    ASSERT_TRUE(entries.count(QStringLiteral("collection.anki2")));
    const QByteArray collectionBytes = entries[QStringLiteral("collection.anki2")];
    EXPECT_TRUE(collectionBytes.startsWith(QByteArray("SQLite format 3\0", 16))) << "not encrypted";
    Collection collection(collectionBytes, dir_.filePath(QStringLiteral("read.anki2")));

    const auto names = collection.Rows("SELECT name FROM sqlite_master ORDER BY name");
    std::vector<QString> found;
    for (const auto& row : names)
        found.push_back(row[0]);
    for (const char* name :
         {"col", "notes", "cards", "revlog", "graves", "ix_notes_usn", "ix_cards_usn", "ix_revlog_usn",
          "ix_cards_nid", "ix_cards_sched", "ix_revlog_cid", "ix_notes_csum"})
        EXPECT_NE(std::find(found.begin(), found.end(), QString::fromUtf8(name)), found.end()) << name;
    EXPECT_EQ(collection.Rows("SELECT ver, mod FROM col"),
              (std::vector<std::vector<QString>>{{QStringLiteral("11"), QString::number(kNowMs)}}));

    const QJsonObject models = collection.Json("models");
    ASSERT_EQ(models.size(), 1);
    const QJsonObject noteType = models.begin()->toObject();
    EXPECT_EQ(noteType[QStringLiteral("name")].toString(), QString::fromUtf8("Ostrelle 句子"));
    EXPECT_EQ(models.begin().key(), QString::number(noteType[QStringLiteral("id")].toInteger()));
    QStringList fieldNames;
    for (const QJsonValue field : noteType[QStringLiteral("flds")].toArray())
        fieldNames << field[QStringLiteral("name")].toString();
    EXPECT_EQ(fieldNames, (QStringList{QStringLiteral("Audio"), QStringLiteral("Front"),
                                       QStringLiteral("Back"), QStringLiteral("Lesson")}));
    const QJsonObject decks = collection.Json("decks");
    EXPECT_EQ(decks[QString::number(deck.deckId)][QStringLiteral("name")].toString(), deck.name);
    EXPECT_EQ(decks[QStringLiteral("1")][QStringLiteral("name")].toString(), QStringLiteral("Default"));
    EXPECT_TRUE(collection.Json("dconf").contains(QStringLiteral("1")));

    const QJsonObject media = QJsonDocument::fromJson(entries[QStringLiteral("media")]).object();
    EXPECT_EQ(media.size(), 3);
    const auto notes = collection.Rows(
        "SELECT n.id, n.guid, n.mid, n.flds, n.tags, n.csum, c.did, c.due, c.type, "
        "c.queue FROM notes n JOIN cards c ON c.nid = n.id ORDER BY c.due");
    ASSERT_EQ(notes.size(), 3u);
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const AnkiCard& card = deck.cards[i];
        const std::vector<QString>& note = notes[i];
        EXPECT_EQ(note[0], QString::number(card.noteId));
        EXPECT_EQ(note[1], card.guid);
        EXPECT_EQ(note[2], QString::number(noteType[QStringLiteral("id")].toInteger()));
        const QStringList fields = note[3].split(QChar(0x1f));
        ASSERT_EQ(fields.size(), 4);
        const QString sound = fields[0].mid(7).chopped(1);
        EXPECT_EQ(fields[0], QStringLiteral("[sound:%1]").arg(card.sound));
        QString entry;
        for (auto it = media.begin(); it != media.end(); ++it)
            if (it.value().toString() == sound) entry = it.key();
        ASSERT_FALSE(entry.isEmpty()) << "the media map holds " << sound.toStdString();
        QFile clip(card.clipPath);
        ASSERT_TRUE(clip.open(QIODevice::ReadOnly));
        EXPECT_EQ(entries[entry], clip.readAll()) << "entry " << entry.toStdString();
        EXPECT_EQ(fields[3], QString::fromUtf8("第一课"));
        EXPECT_EQ(note[4], QStringLiteral(" ostrelle lesson_one "));
        // Anki looks for duplicates by the SHA-1 of the first field's text.
        const QByteArray digest = QCryptographicHash::hash(fields[0].toUtf8(), QCryptographicHash::Sha1);
        EXPECT_EQ(note[5].toLongLong(), digest.left(4).toHex().toLongLong(nullptr, 16));
        EXPECT_EQ(note[6], QString::number(deck.deckId));
        EXPECT_EQ(note[7], QString::number(i + 1)) << "new cards come in the deck's order";
        EXPECT_EQ(note[8] + note[9], QStringLiteral("00")) << "new, in the new queue";
    }
    EXPECT_EQ(notes[1][3].split(QChar(0x1f)).mid(1, 2),
              (QStringList{QStringLiteral("_ is &lt; 3"),
                           QStringLiteral("Two is &lt; 3 &amp; &quot;true&quot;<br>next line")}));
    EXPECT_EQ(collection.Rows("SELECT sfld FROM notes ORDER BY id").size(), 3u);
    EXPECT_EQ(collection.Rows("SELECT sfld FROM notes WHERE sfld LIKE 'Two%'"),
              (std::vector<std::vector<QString>>{{QStringLiteral("Two is < 3 & \"true\"next line")}}));
}

TEST_F(AnkiPackageTest, WritingTheSameDeckAgainKeepsEveryIdAndReplacesThePackage) {
    EXPECT_EQ(StableAnkiId(QStringLiteral("a|1.5")), StableAnkiId(QStringLiteral("a|1.5")));
    EXPECT_NE(StableAnkiId(QStringLiteral("a|1.5")), StableAnkiId(QStringLiteral("a|1.6")));
    EXPECT_EQ(StableAnkiGuid(QStringLiteral("a|1.5")), StableAnkiGuid(QStringLiteral("a|1.5")));
    EXPECT_NE(StableAnkiGuid(QStringLiteral("a|1.5")), StableAnkiGuid(QStringLiteral("a|1.6")));
    for (const QString& key : {QString(), QStringLiteral("x"), QString::fromUtf8("/课文/一.mp3|12.3-15.0")}) {
        const qint64 id = StableAnkiId(key);
        // Positive, exact in JavaScript, and not after now: Anki renumbers ids that lie ahead.
        EXPECT_GT(id, 1);
        EXPECT_LT(id, kNowMs);
        EXPECT_FALSE(StableAnkiGuid(key).isEmpty());
    }

    const char* idsSql =
        "SELECT n.id, n.guid, n.mid, c.id, c.did FROM notes n JOIN cards c ON c.nid = n.id ORDER BY n.id";
    ASSERT_TRUE(WriteAnkiPackage(ThreeCards(), PackagePath(), kNowMs).ok());
    Collection first(Unzip(PackagePath())[QStringLiteral("collection.anki2")],
                     dir_.filePath(QStringLiteral("1")));
    ASSERT_TRUE(WriteAnkiPackage(ThreeCards(), PackagePath(), kNowMs + 86'400'000).ok());
    Collection second(Unzip(PackagePath())[QStringLiteral("collection.anki2")],
                      dir_.filePath(QStringLiteral("2")));

    EXPECT_EQ(second.Rows("SELECT mod FROM col")[0][0], QString::number(kNowMs + 86'400'000)) << "replaced";
    EXPECT_EQ(first.Rows(idsSql).size(), 3u);
    EXPECT_EQ(first.Rows(idsSql), second.Rows(idsSql));
    EXPECT_EQ(first.Json("models").keys(), second.Json("models").keys());
    EXPECT_EQ(first.Json("decks").keys(), second.Json("decks").keys());
    EXPECT_TRUE(OnlyThePackageIsBesideTheClips(3));
}

TEST_F(AnkiPackageTest, AMissingClipOrAFolderThatCannotBeWrittenFailsAndLeavesTheOldPackage) {
    ASSERT_TRUE(WriteAnkiPackage(ThreeCards(), PackagePath(), kNowMs).ok());
    QFile package(PackagePath());
    ASSERT_TRUE(package.open(QIODevice::ReadOnly));
    const QByteArray before = package.readAll();
    package.close();

    AnkiDeck missing = ThreeCards();
    missing.cards[2].clipPath += QStringLiteral(".gone");
    const Result<void> noClip = WriteAnkiPackage(missing, PackagePath(), kNowMs + 1000);
    ASSERT_FALSE(noClip.ok());
    EXPECT_EQ(noClip.failure().code, FailureCode::Missing);
    EXPECT_TRUE(noClip.failure().detail.endsWith(QStringLiteral(".gone")));
    ASSERT_TRUE(package.open(QIODevice::ReadOnly));
    EXPECT_EQ(package.readAll(), before);
    EXPECT_TRUE(OnlyThePackageIsBesideTheClips(3));

    // A folder that is not there, and one that is a file: either fails for root as well.
    for (const QString& path :
         {dir_.filePath(QStringLiteral("gone/deck.apkg")), PackagePath() + QStringLiteral("/deck.apkg")}) {
        const Result<void> written = WriteAnkiPackage(ThreeCards(), path, kNowMs);
        ASSERT_FALSE(written.ok()) << path.toStdString();
        EXPECT_EQ(written.failure().code, FailureCode::CannotWrite);
        EXPECT_TRUE(written.failure().detail.startsWith(QStringLiteral("deck.apkg: ")))
            << written.failure().detail.toStdString();
        EXPECT_FALSE(QFile::exists(path));
    }
    EXPECT_TRUE(OnlyThePackageIsBesideTheClips(3));
}

TEST_F(AnkiPackageTest, ADeckWithoutCardsMakesAPackageOfTheEmptyDeck) {
    AnkiDeck empty = ThreeCards();
    empty.cards.clear();
    ASSERT_TRUE(WriteAnkiPackage(empty, PackagePath(), kNowMs).ok());
    auto entries = Unzip(PackagePath());
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_EQ(QJsonDocument::fromJson(entries[QStringLiteral("media")]).object(), QJsonObject());
    Collection collection(entries[QStringLiteral("collection.anki2")],
                          dir_.filePath(QStringLiteral("read.anki2")));
    EXPECT_EQ(collection.Rows("SELECT count(*) FROM notes")[0][0], QStringLiteral("0"));
    EXPECT_EQ(collection.Json("decks")[QString::number(empty.deckId)][QStringLiteral("name")].toString(),
              empty.name);
}

}  // namespace
}  // namespace ostrelle
