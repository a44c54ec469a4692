#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace ostrelle {

// Field positions of a playlist row.
inline constexpr int kFileNameField = 1;
inline constexpr int kSavePathField = 2;
inline constexpr int kPlayTimeField = 3;
inline constexpr int kFirstSegmentField = 5;  // segment1
inline constexpr int kLastSegmentField = 54;  // segment50
inline constexpr int kSegmentSlots = kLastSegmentField - kFirstSegmentField + 1;

// The command texts the program sends; "?" is bound to the path.
inline const QString kListedRowsSql = QStringLiteral("select * from playlist where seq=1 order by seq asc");
inline const QString kAllRowsSql = QStringLiteral("select * from playlist");
inline const QString kRowByPathSql = QStringLiteral("select * from playlist where savepath = ?");
inline const QString kDeleteAllRowsSql = QStringLiteral("delete from playlist");

enum class StoreError {
    None,
    CannotOpen,    // the file or its folder cannot be opened or created
    NotADatabase,  // wrong key, corrupt, or not a database at all; the file is left untouched
    Busy,          // another process holds the lock past the busy timeout
    Constraint,    // e.g. a second row for the same path
    BadCommand,    // a command text the store does not understand
    Io,            // disk full, read-only file, other I/O failure
    Unavailable,   // the database could not be opened at start-up (already reported then)
};

struct StoreFailure {
    StoreError code = StoreError::None;
    QString message;  // readable, for the one message box the learner sees
    explicit operator bool() const { return code != StoreError::None; }
};

class PlaylistDatabase;

// The rows a select returned, walked in the store's order. Writes go to the current row and reach the
// table at Update(), each as one transaction.
class Recordset {
public:
    virtual ~Recordset() = default;

    virtual bool Eof() const = 0;  // no current row: empty, or walked past the last
    virtual void MoveFirst() = 0;
    virtual void MoveNext() = 0;
    virtual int RecordCount() const = 0;

    // The current row's field at a position; nothing for Null (and at end of file).
    virtual std::optional<QString> Field(int position) const = 0;
    virtual void SetField(int position, const std::optional<QString>& value) = 0;

    // Starts a new row that becomes current; its segment slots are Null and it is listed (seq true).
    virtual void AddNew() = 0;
    // Writes the new or changed current row to the table.
    virtual StoreFailure Update() = 0;
    // Removes the current row from the table; the row stays current (and reads as before) until a move.
    virtual StoreFailure DeleteCurrent() = 0;
};

struct QueryResult {
    std::unique_ptr<Recordset> recordset;  // set for a select that worked
    StoreFailure failure;
};

struct OpenResult {
    std::unique_ptr<PlaylistDatabase> database;
    StoreFailure failure;
};

// The password-protected playlist database: one connection per process, table playlist created when the
// file is new. A file that cannot be read with the key is reported, never overwritten or deleted.
class PlaylistDatabase {
public:
    static constexpr const char* kPassword = "73940268";

    // key is the passphrase, or a raw key written as x'64 hex digits' (no key derivation: for tests).
    static OpenResult Open(const QString& path, const QString& key = QString::fromLatin1(kPassword));

    virtual ~PlaylistDatabase() = default;

    // A command whose first word is INSERT, DELETE or UPDATE (any case) is executed in one transaction and
    // gives no recordset; any other is a select. Parameters are bound to the "?" in order.
    virtual QueryResult QueryPlaylist(const QString& commandText, const QStringList& parameters = {}) = 0;

    virtual QString Path() const = 0;
};

}  // namespace ostrelle
