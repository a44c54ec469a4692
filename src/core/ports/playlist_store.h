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

// The playlist table of the password-protected database: the rows the program reads and writes, by
// typed queries. Every query reads the rows as they are now; writes go through the recordset.
class PlaylistStore {
public:
    virtual ~PlaylistStore() = default;

    // The rows of the list (seq true), in table order.
    virtual QueryResult ListedRows() = 0;
    // Every row, listed or not.
    virtual QueryResult AllRows() = 0;
    // The row whose path is path (letter case counts): none or one. AddNew() on it starts the path's row.
    virtual QueryResult RowFor(const QString& path) = 0;
    // Removes every row in one transaction.
    virtual StoreFailure DeleteAll() = 0;

    virtual QString Path() const = 0;
};

}  // namespace ostrelle
