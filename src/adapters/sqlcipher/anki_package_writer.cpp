#include "adapters/sqlcipher/anki_package_writer.h"

#include "adapters/sqlcipher/sqlite_support.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <zip.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ostrelle {

using namespace sqlcipher;

namespace {

// Fixed, so a second package's notes join the note type the first one brought.
constexpr qint64 kNoteTypeId = 1'398'130'163'168;
// When the note type's templates last changed. Anki takes an imported note type over its own copy only
// when it is newer, so a learner's later edits of the copy survive the next import.
constexpr qint64 kNoteTypeModSeconds = 1'780'000'000;
constexpr qint64 kDefaultDeckId = 1;
constexpr qint64 kDeckConfigId = 1;
constexpr int kBackField = 2;  // the sort field: the browser lists the sentences

const char kSchemaSql[] =
    "CREATE TABLE col (id integer PRIMARY KEY, crt integer NOT NULL, mod integer NOT NULL, "
    "scm integer NOT NULL, ver integer NOT NULL, dty integer NOT NULL, usn integer NOT NULL, "
    "ls integer NOT NULL, conf text NOT NULL, models text NOT NULL, decks text NOT NULL, "
    "dconf text NOT NULL, tags text NOT NULL);"
    "CREATE TABLE notes (id integer PRIMARY KEY, guid text NOT NULL, mid integer NOT NULL, "
    "mod integer NOT NULL, usn integer NOT NULL, tags text NOT NULL, flds text NOT NULL, "
    "sfld integer NOT NULL, csum integer NOT NULL, flags integer NOT NULL, data text NOT NULL);"
    "CREATE TABLE cards (id integer PRIMARY KEY, nid integer NOT NULL, did integer NOT NULL, "
    "ord integer NOT NULL, mod integer NOT NULL, usn integer NOT NULL, type integer NOT NULL, "
    "queue integer NOT NULL, due integer NOT NULL, ivl integer NOT NULL, factor integer NOT NULL, "
    "reps integer NOT NULL, lapses integer NOT NULL, left integer NOT NULL, odue integer NOT NULL, "
    "odid integer NOT NULL, flags integer NOT NULL, data text NOT NULL);"
    "CREATE TABLE revlog (id integer PRIMARY KEY, cid integer NOT NULL, usn integer NOT NULL, "
    "ease integer NOT NULL, ivl integer NOT NULL, lastIvl integer NOT NULL, factor integer NOT NULL, "
    "time integer NOT NULL, type integer NOT NULL);"
    "CREATE TABLE graves (usn integer NOT NULL, oid integer NOT NULL, type integer NOT NULL);"
    "CREATE INDEX ix_notes_usn ON notes (usn);"
    "CREATE INDEX ix_cards_usn ON cards (usn);"
    "CREATE INDEX ix_revlog_usn ON revlog (usn);"
    "CREATE INDEX ix_cards_nid ON cards (nid);"
    "CREATE INDEX ix_cards_sched ON cards (did, queue, due);"
    "CREATE INDEX ix_revlog_cid ON revlog (cid);"
    "CREATE INDEX ix_notes_csum ON notes (csum);";

Failure CannotWrite(const QString& name, const QString& reason) {
    return {FailureCode::CannotWrite, QStringLiteral("%1: %2").arg(name, reason)};
}

QString SystemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool IsAsciiControl(QChar c) {
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

// A text as field HTML. Control characters go (0x1f would split the fields), lines become <br>; NFC
// because Anki keeps its fields so and would otherwise see a changed note on the next import.
QString FieldHtml(const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    plain.removeIf([](QChar c) { return IsAsciiControl(c) && c != u'\n' && c != u'\t'; });
    return plain.normalized(QString::NormalizationForm_C)
        .toHtmlEscaped()
        .replace(u'\n', QStringLiteral("<br>"));
}

// Anki's plain text of a field (its tags dropped, its entities read), for our own field HTML only.
QString FieldPlain(const QString& html) {
    QString plain = html;
    plain.remove(QStringLiteral("<br>"));
    if (!plain.contains(u'&')) return plain;
    plain.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
        .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return plain.replace(QChar(0xa0), u' ');
}

// The first four bytes of the SHA-1, as Anki finds duplicates of a note's first field.
qint64 FieldChecksum(const QString& plain) {
    const QByteArray digest = QCryptographicHash::hash(plain.toUtf8(), QCryptographicHash::Sha1);
    quint32 sum = 0;
    for (int i = 0; i < 4; ++i)
        sum = (sum << 8) | static_cast<quint8>(digest.at(i));
    return sum;
}

// Anki keeps tags as one text with a space before and after each; a tag itself holds no space.
QString TagsText(const QStringList& tags) {
    QStringList kept;
    for (QString tag : tags) {
        tag.removeIf(IsAsciiControl);
        tag = tag.simplified().replace(u' ', u'_');
        if (!tag.isEmpty() && !kept.contains(tag)) kept.append(tag);
    }
    return kept.isEmpty() ? QString() : u' ' + kept.join(u' ') + u' ';
}

// Anki refuses media names that are paths, and a bracket would end the [sound:…] reference early.
bool IsSoundName(const QString& sound) {
    if (sound.isEmpty() || sound == u"." || sound == u"..") return false;
    for (const QChar c : sound)
        if (IsAsciiControl(c) || c == u'/' || c == u'\\' || c == u'[' || c == u']') return false;
    return true;
}

QJsonObject FieldJson(const char* name, int ord) {
    return {{QStringLiteral("name"), QString::fromUtf8(name)},
            {QStringLiteral("ord"), ord},
            {QStringLiteral("sticky"), false},
            {QStringLiteral("rtl"), false},
            {QStringLiteral("font"), QStringLiteral("Arial")},
            {QStringLiteral("size"), 20},
            {QStringLiteral("media"), QJsonArray()}};
}

QJsonObject NoteTypeJson(qint64 deckId) {
    const QJsonObject card{
        {QStringLiteral("name"), QStringLiteral("Card 1")},
        {QStringLiteral("ord"), 0},
        {QStringLiteral("qfmt"), QStringLiteral("{{Audio}}\n<div class=\"front\">{{Front}}</div>")},
        {QStringLiteral("afmt"), QStringLiteral("{{FrontSide}}\n\n<hr id=answer>\n\n{{Back}}<br>\n"
                                                "<span class=\"lesson\">{{Lesson}}</span>")},
        {QStringLiteral("bqfmt"), QString()},
        {QStringLiteral("bafmt"), QString()},
        {QStringLiteral("did"), QJsonValue::Null},
        {QStringLiteral("bfont"), QString()},
        {QStringLiteral("bsize"), 0}};
    return {
        {QStringLiteral("id"), kNoteTypeId},
        {QStringLiteral("name"), QString::fromUtf8("Ostrelle 句子")},
        {QStringLiteral("type"), 0},
        {QStringLiteral("mod"), kNoteTypeModSeconds},
        {QStringLiteral("usn"), -1},
        {QStringLiteral("sortf"), kBackField},
        {QStringLiteral("did"), deckId},
        {QStringLiteral("tmpls"), QJsonArray{card}},
        {QStringLiteral("flds"), QJsonArray{FieldJson("Audio", 0), FieldJson("Front", 1),
                                            FieldJson("Back", 2), FieldJson("Lesson", 3)}},
        {QStringLiteral("css"),
         QStringLiteral(".card { font-family: sans-serif; font-size: 26px; text-align: center; "
                        "color: black; background-color: white; }\n"
                        ".front { margin-top: 0.5em; }\n"
                        ".lesson { font-size: 14px; color: gray; }\n")},
        {QStringLiteral("latexPre"), QStringLiteral("\\documentclass{article}\n\\usepackage[utf8]{inputenc}\n"
                                                    "\\pagestyle{empty}\n\\begin{document}\n")},
        {QStringLiteral("latexPost"), QStringLiteral("\\end{document}")},
        {QStringLiteral("latexsvg"), false},
        // The card is made when the audio or the front text is there.
        {QStringLiteral("req"), QJsonArray{QJsonArray{0, QStringLiteral("any"), QJsonArray{0, 1}}}},
        {QStringLiteral("tags"), QJsonArray()},
        {QStringLiteral("vers"), QJsonArray()}};
}

QJsonObject DeckJson(qint64 id, const QString& name, qint64 modSeconds, int usn) {
    const QJsonArray today{0, 0};
    return {{QStringLiteral("id"), id},
            {QStringLiteral("name"), name},
            {QStringLiteral("mod"), modSeconds},
            {QStringLiteral("usn"), usn},
            {QStringLiteral("lrnToday"), today},
            {QStringLiteral("revToday"), today},
            {QStringLiteral("newToday"), today},
            {QStringLiteral("timeToday"), today},
            {QStringLiteral("collapsed"), false},
            {QStringLiteral("browserCollapsed"), false},
            {QStringLiteral("desc"), QString()},
            {QStringLiteral("dyn"), 0},
            {QStringLiteral("conf"), kDeckConfigId},
            {QStringLiteral("extendNew"), 0},
            {QStringLiteral("extendRev"), 0}};
}

// Anki's usual options; the importer keeps the learner's own for deck options group 1.
QJsonObject DeckConfigJson() {
    const QJsonObject fresh{{QStringLiteral("bury"), false},
                            {QStringLiteral("delays"), QJsonArray{1, 10}},
                            {QStringLiteral("initialFactor"), 2500},
                            {QStringLiteral("ints"), QJsonArray{1, 4, 0}},
                            {QStringLiteral("order"), 1},
                            {QStringLiteral("perDay"), 20},
                            {QStringLiteral("separate"), true}};
    const QJsonObject review{{QStringLiteral("bury"), false}, {QStringLiteral("ease4"), 1.3},
                             {QStringLiteral("ivlFct"), 1},   {QStringLiteral("maxIvl"), 36500},
                             {QStringLiteral("perDay"), 200}, {QStringLiteral("hardFactor"), 1.2},
                             {QStringLiteral("fuzz"), 0.05},  {QStringLiteral("minSpace"), 1}};
    const QJsonObject lapse{{QStringLiteral("delays"), QJsonArray{10}},
                            {QStringLiteral("leechAction"), 1},
                            {QStringLiteral("leechFails"), 8},
                            {QStringLiteral("minInt"), 1},
                            {QStringLiteral("mult"), 0}};
    return {{QStringLiteral("id"), kDeckConfigId},
            {QStringLiteral("mod"), 0},
            {QStringLiteral("name"), QStringLiteral("Default")},
            {QStringLiteral("usn"), 0},
            {QStringLiteral("maxTaken"), 60},
            {QStringLiteral("autoplay"), true},
            {QStringLiteral("timer"), 0},
            {QStringLiteral("replayq"), true},
            {QStringLiteral("dyn"), false},
            {QStringLiteral("new"), fresh},
            {QStringLiteral("rev"), review},
            {QStringLiteral("lapse"), lapse}};
}

QByteArray Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString Key(qint64 id) {
    return QString::number(id);
}

struct PackedNote {
    const AnkiCard* card = nullptr;
    QString fields;  // joined by 0x1f
    QString sortText;
    qint64 checksum = 0;
};

PackedNote Pack(const AnkiCard& card) {
    const QStringList html{QStringLiteral("[sound:%1]").arg(card.sound.toHtmlEscaped()),
                           FieldHtml(card.frontText), FieldHtml(card.backText), FieldHtml(card.lesson)};
    return {&card, html.join(QChar(0x1f)), FieldPlain(html.at(kBackField)),
            FieldChecksum(FieldPlain(html.at(0)))};
}

Result<void> Bind(sqlite3* db, sqlite3_stmt* statement, int index, qint64 value) {
    const int rc = sqlite3_bind_int64(statement, index, value);
    return rc == SQLITE_OK ? Result<void>() : SqliteFailure(db, rc);
}

Result<void> Bind(sqlite3* db, sqlite3_stmt* statement, int index, const QString& value) {
    const int rc = BindText(statement, index, value);
    return rc == SQLITE_OK ? Result<void>() : SqliteFailure(db, rc);
}

// Binds the values to ?1, ?2, … and runs the statement once.
template <typename... Values>
Result<void> Run(sqlite3* db, sqlite3_stmt* statement, const Values&... values) {
    sqlite3_reset(statement);
    int index = 0;
    Result<void> bound;
    // Left to right, stopping at the first failure.
    (void)((bound = Bind(db, statement, ++index, values)).ok() && ...);
    return bound.ok() ? StepToEnd(db, statement) : bound;
}

Result<void> FillCollection(sqlite3* db, const AnkiDeck& deck, const std::vector<PackedNote>& notes,
                            qint64 nowMs) {
    const qint64 nowSeconds = nowMs / 1000;
    const QJsonObject conf{{QStringLiteral("activeDecks"), QJsonArray{deck.deckId}},
                           {QStringLiteral("curDeck"), deck.deckId},
                           {QStringLiteral("curModel"), kNoteTypeId},
                           {QStringLiteral("nextPos"), static_cast<qint64>(notes.size()) + 1},
                           {QStringLiteral("addToCur"), true},
                           {QStringLiteral("sortType"), QStringLiteral("noteFld")},
                           {QStringLiteral("sortBackwards"), false},
                           {QStringLiteral("estTimes"), true},
                           {QStringLiteral("dueCounts"), true},
                           {QStringLiteral("newSpread"), 0},
                           {QStringLiteral("collapseTime"), 1200},
                           {QStringLiteral("timeLim"), 0}};
    const QJsonObject models{{Key(kNoteTypeId), NoteTypeJson(deck.deckId)}};
    const QJsonObject decks{{Key(kDefaultDeckId), DeckJson(kDefaultDeckId, QStringLiteral("Default"), 0, 0)},
                            {Key(deck.deckId), DeckJson(deck.deckId, deck.name, nowSeconds, -1)}};
    const QJsonObject deckConfigs{{Key(kDeckConfigId), DeckConfigJson()}};

    Statement col, note, card;
    if (Result<void> prepared =
            PrepareOne(db, "INSERT INTO col VALUES (1, ?, ?, ?, 11, 0, 0, 0, ?, ?, ?, ?, '{}')", col);
        !prepared.ok())
        return prepared;
    if (Result<void> prepared =
            PrepareOne(db, "INSERT INTO notes VALUES (?, ?, ?, ?, -1, ?, ?, ?, ?, 0, '')", note);
        !prepared.ok())
        return prepared;
    if (Result<void> prepared = PrepareOne(
            db, "INSERT INTO cards VALUES (?, ?, ?, 0, ?, -1, 0, 0, ?, 0, 0, 0, 0, 0, 0, 0, 0, '')", card);
        !prepared.ok())
        return prepared;

    // crt is the day the collection began; a day's start keeps Anki's day count of it whole.
    Result<void> done = Run(db, col.get(), nowSeconds - nowSeconds % 86400, nowMs, nowMs,
                            QString::fromUtf8(Compact(conf)), QString::fromUtf8(Compact(models)),
                            QString::fromUtf8(Compact(decks)), QString::fromUtf8(Compact(deckConfigs)));
    qint64 position = 0;
    for (const PackedNote& packed : notes) {
        if (!done.ok()) break;
        const AnkiCard& source = *packed.card;
        done = Run(db, note.get(), source.noteId, source.guid, kNoteTypeId, nowSeconds, TagsText(source.tags),
                   packed.fields, packed.sortText, packed.checksum);
        // One card per note: it may share the note's number, the two tables count apart.
        if (done.ok())
            done = Run(db, card.get(), source.noteId, source.noteId, deck.deckId, nowSeconds, ++position);
    }
    return done;
}

Result<void> WriteCollection(const QString& path, const AnkiDeck& deck, const std::vector<PackedNote>& notes,
                             qint64 nowMs) {
    Result<void> done;
    {
        Connection connection;  // closed at the end of this block, so the file is whole before it is zipped
        // Opened without a key, SQLCipher writes a plain SQLite file.
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &connection.db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        sqlite3* db = connection.db;
        if (rc != SQLITE_OK) done = SqliteFailure(db, rc);
        // A scratch file: the package made of it is the one synced to disk.
        if (done.ok()) done = Exec(db, "PRAGMA synchronous = OFF");
        if (done.ok()) {
            done = InTransaction(db, [&] {
                const Result<void> made = Exec(db, kSchemaSql);
                return made.ok() ? FillCollection(db, deck, notes, nowMs) : made;
            });
        }
    }
    return done.ok() ? done : CannotWrite(QStringLiteral("collection.anki2"), done.failure().detail);
}

// A failed zip_close: a clip that could not be read is the clip's fault, anything else the package's.
Failure ZipFailure(zip_t* archive, const QString& outName) {
    zip_error_t* error = zip_get_error(archive);
    const QString reason = QString::fromLocal8Bit(zip_error_strerror(error));
    switch (zip_error_code_zip(error)) {
        case ZIP_ER_OPEN:
        case ZIP_ER_READ:
        case ZIP_ER_NOENT:
        case ZIP_ER_CHANGED:
            return {FailureCode::CannotRead, reason};
        default:
            return CannotWrite(outName, reason);
    }
}

Result<void> AddEntry(zip_t* archive, const QByteArray& name, zip_source_t* source, bool compress,
                      const QString& outName) {
    const zip_int64_t index = source ? zip_file_add(archive, name.constData(), source, 0) : -1;
    if (index < 0) {
        zip_source_free(source);
        return CannotWrite(outName, QString::fromLocal8Bit(zip_strerror(archive)));
    }
    // The clips are compressed audio already: storing them saves the time deflate would spend.
    if (!compress) zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    return {};
}

// Zips the collection, the media map and the clips into the file at zipPath, which exists and is empty.
Result<void> ZipPackage(const QByteArray& zipPath, const QString& collectionPath, const QByteArray& mediaMap,
                        const std::vector<const AnkiCard*>& media, const QString& outName) {
    int code = 0;
    zip_t* archive = zip_open(zipPath.constData(), ZIP_TRUNCATE, &code);
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const Failure failure = CannotWrite(outName, QString::fromLocal8Bit(zip_error_strerror(&error)));
        zip_error_fini(&error);
        return failure;
    }
    Result<void> added = AddEntry(
        archive, "collection.anki2",
        zip_source_file(archive, QFile::encodeName(collectionPath).constData(), 0, -1), true, outName);
    if (added.ok())
        added = AddEntry(
            archive, "media",
            zip_source_buffer(archive, mediaMap.constData(), static_cast<zip_uint64_t>(mediaMap.size()), 0),
            true, outName);
    for (std::size_t i = 0; i < media.size() && added.ok(); ++i) {
        added = AddEntry(archive, QByteArray::number(static_cast<qulonglong>(i)),
                         zip_source_file(archive, QFile::encodeName(media[i]->clipPath).constData(), 0, -1),
                         false, outName);
        if (!added.ok()) added = Failure{FailureCode::CannotRead, media[i]->clipPath};
    }
    if (added.ok() && zip_close(archive) == 0) return {};
    if (added.ok()) added = ZipFailure(archive, outName);
    zip_discard(archive);
    return added;
}

// Whether the clip can be copied into the package; Missing, NotAFile or CannotRead with its path if not.
Result<void> CheckClip(const AnkiCard& card) {
    const QFileInfo clip(card.clipPath);
    if (card.clipPath.isEmpty() || !clip.exists()) return Failure{FailureCode::Missing, card.clipPath};
    if (!clip.isFile()) return Failure{FailureCode::NotAFile, card.clipPath};
    if (!clip.isReadable()) return Failure{FailureCode::CannotRead, card.clipPath};
    return {};
}

// Moves the finished zip at temp over target: synced first, so a crash leaves the old package or the new.
Result<void> PutInPlace(const QByteArray& temp, const QByteArray& target, const QString& outName) {
    struct stat old {};
    const mode_t mode = stat(target.constData(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    const int fd = ::open(temp.constData(), O_RDONLY);
    int error = fd < 0 ? errno : 0;
    if (error == 0 && fchmod(fd, mode) != 0) error = errno;
    if (error == 0 && fsync(fd) != 0) error = errno;
    if (fd >= 0) ::close(fd);
    if (error == 0 && std::rename(temp.constData(), target.constData()) != 0) error = errno;
    return error == 0 ? Result<void>() : CannotWrite(outName, SystemReason(error));
}

}  // namespace

Result<void> WriteAnkiPackage(const AnkiDeck& deck, const QString& outPath, qint64 nowMs) {
    const QString outName = QFileInfo(outPath).fileName();
    if (outPath.isEmpty()) return CannotWrite(outPath, QString::fromUtf8("没有文件名"));

    // Everything is checked before anything is written. Cards with the same sound share its one copy.
    std::vector<PackedNote> notes;
    std::vector<const AnkiCard*> media;
    QHash<QString, int> mediaIndex;
    for (const AnkiCard& card : deck.cards) {
        if (!IsSoundName(card.sound))
            return CannotWrite(outName, QString::fromUtf8("声音文件名“%1”不能用在 Anki 里").arg(card.sound));
        if (Result<void> clip = CheckClip(card); !clip.ok()) return clip;
        if (!mediaIndex.contains(card.sound)) {
            mediaIndex.insert(card.sound, static_cast<int>(media.size()));
            media.push_back(&card);
        }
        notes.push_back(Pack(card));
    }
    QJsonObject mediaMap;
    for (std::size_t i = 0; i < media.size(); ++i)
        mediaMap.insert(QString::number(i), media[i]->sound);

    const QByteArray target = QFile::encodeName(outPath);
    // A rename would replace a read-only package as if it were not.
    struct stat existing {};
    if (stat(target.constData(), &existing) == 0 && S_ISREG(existing.st_mode) &&
        access(target.constData(), W_OK) != 0)
        return CannotWrite(outName, QString::fromUtf8("文件是只读的"));

    QTemporaryDir scratch;
    if (!scratch.isValid()) return CannotWrite(QDir::tempPath(), scratch.errorString());
    const QString collectionPath = scratch.filePath(QStringLiteral("collection.anki2"));
    if (Result<void> written = WriteCollection(collectionPath, deck, notes, nowMs); !written.ok())
        return written;

    // Beside the package, so the last step is a rename on one file system.
    QByteArray temp = target + ".tmp-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return CannotWrite(outName, SystemReason(errno));
    ::close(fd);
    auto removeTemp = qScopeGuard([&] { ::unlink(temp.constData()); });
    if (Result<void> zipped = ZipPackage(temp, collectionPath, Compact(mediaMap), media, outName);
        !zipped.ok())
        return zipped;
    if (Result<void> placed = PutInPlace(temp, target, outName); !placed.ok()) return placed;
    removeTemp.dismiss();
    return {};
}

}  // namespace ostrelle
