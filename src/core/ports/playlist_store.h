#pragma once

#include "base/result.h"

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
// seq: "1" for a row on the list, "0" for one kept off the list only for its segments.
inline constexpr int kListedField = 55;

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
    virtual Result<void> Update() = 0;
    // Removes the current row from the table; the row stays current (and reads as before) until a move.
    virtual Result<void> DeleteCurrent() = 0;
};

// The rows a query read, or why it could not.
using QueryResult = Result<std::unique_ptr<Recordset>>;

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
    virtual Result<void> DeleteAll() = 0;

    // Takes path's row off the list. A row that holds segments stays in the table, unlisted, so that
    // listing the file again brings them back; one without goes.
    virtual Result<void> Unlist(const QString& path) = 0;
    // Takes every row off the list the same way, in one transaction.
    virtual Result<void> UnlistAll() = 0;
    // Puts path's unlisted row back on the list, after the last row; a listed or absent row is left alone.
    virtual Result<void> Relist(const QString& path) = 0;

    virtual QString Path() const = 0;
};

}  // namespace ostrelle
