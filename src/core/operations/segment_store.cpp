#include "core/operations/segment_store.h"

#include "core/formats/path_names.h"
#include "core/formats/segment_text.h"
#include "core/formats/time_values.h"

namespace ostrelle {
namespace {

bool IsFree(const std::optional<QString>& slot) {
    return !slot || slot->trimmed().isEmpty();
}

}  // namespace

Failure SegmentStore::Unavailable() const {
    return {FailureCode::DatabaseUnavailable, {}};
}

Result<LoadedSegments> SegmentStore::LoadABList(const QString& path) const {
    if (!database_) return Unavailable();
    QueryResult result = database_->RowFor(path);
    if (!result.ok()) return result.failure();
    LoadedSegments loaded;
    Recordset& row = *result.value();
    if (row.Eof()) return loaded;
    for (int p = kFirstSegmentField; p <= kLastSegmentField; ++p) {
        const std::optional<QString> slot = row.Field(p);
        if (!slot) break;
        if (slot->trimmed().isEmpty()) continue;
        loaded.hasAB = true;
        // A blank slot between used ones would leave an empty pair at its index.
        loaded.list.resize(p - kFirstSegmentField + 1, ABPair{.a = {}, .b = {}, .blank = true});
        loaded.list[p - kFirstSegmentField] = ParseAB(*slot);
    }
    return loaded;
}

namespace {

// A path without a row gets one, so that nothing the learner marked is lost.
void StartRowIfMissing(Recordset& row, const QString& path, double lengthSeconds) {
    if (!row.Eof()) return;
    row.AddNew();
    row.SetField(kFileNameField, FileNameOfPath(path).value_or(path));
    row.SetField(kSavePathField, path);
    row.SetField(kPlayTimeField, FormatSeconds(lengthSeconds));
}

}  // namespace

Result<void> SegmentStore::StoreSegment(const QString& path, const ABPair& segment, double lengthSeconds) {
    const QString slotText = SlotText(segment);
    if (!database_) return Unavailable();
    QueryResult result = database_->RowFor(path);
    if (!result.ok()) return result.failure();
    Recordset& row = *result.value();
    StartRowIfMissing(row, path, lengthSeconds);
    for (int p = kFirstSegmentField; p <= kLastSegmentField; ++p) {
        if (IsFree(row.Field(p))) {
            row.SetField(p, slotText);
            return row.Update();
        }
    }
    // All taken: the oldest drops. One update, so the row is never seen half-moved.
    for (int p = kFirstSegmentField; p < kLastSegmentField; ++p)
        row.SetField(p, row.Field(p + 1));
    row.SetField(kLastSegmentField, slotText);
    return row.Update();
}

Result<void> SegmentStore::StoreSegments(const QString& path, const ABList& segments, double lengthSeconds,
                                         bool replace) {
    if (!database_) return Unavailable();
    QueryResult result = database_->RowFor(path);
    if (!result.ok()) return result.failure();
    Recordset& row = *result.value();
    StartRowIfMissing(row, path, lengthSeconds);
    // Kept segments close up, so the new ones follow the last of them without gaps.
    QStringList slots;
    if (!replace) {
        for (int p = kFirstSegmentField; p <= kLastSegmentField; ++p) {
            if (!IsFree(row.Field(p))) slots << row.Field(p).value_or(QString());
        }
    }
    for (const ABPair& segment : segments) {
        if (slots.size() >= kSegmentSlots) break;
        slots << SlotText(segment);
    }
    for (int p = kFirstSegmentField; p <= kLastSegmentField; ++p) {
        const int i = p - kFirstSegmentField;
        if (i < slots.size())
            row.SetField(p, slots[i]);
        else if (!row.Field(p).has_value())
            continue;  // never used stays Null
        else
            row.SetField(p, QString());
    }
    return row.Update();
}

Result<void> SegmentStore::ReplaceSegment(const QString& path, int number, const ABPair& segment) {
    if (!database_) return Unavailable();
    if (number < 1 || number > kSegmentSlots) return {};
    QueryResult result = database_->RowFor(path);
    if (!result.ok()) return result.failure();
    Recordset& row = *result.value();
    const int p = kFirstSegmentField + number - 1;
    if (row.Eof() || IsFree(row.Field(p))) return {};
    row.SetField(p, SlotText(segment));
    return row.Update();
}

Result<void> SegmentStore::DeleteSegment(const QString& path, int number) {
    if (!database_) return Unavailable();
    if (number < 1 || number > kSegmentSlots) return {};
    QueryResult result = database_->RowFor(path);
    if (!result.ok()) return result.failure();
    Recordset& row = *result.value();
    if (row.Eof()) return {};
    const int k = kFirstSegmentField + number - 1;
    const bool lastHeldOne = !IsFree(row.Field(kLastSegmentField));
    row.SetField(k, QString());
    for (int p = k; p < kLastSegmentField; ++p)
        row.SetField(p, row.Field(p + 1));
    if (lastHeldOne) row.SetField(kLastSegmentField, QString());
    return row.Update();
}

Result<void> SegmentStore::DeleteAllSegments(const QString& path) {
    if (!database_) return Unavailable();
    QueryResult result = database_->RowFor(path);
    if (!result.ok()) return result.failure();
    Recordset& row = *result.value();
    if (row.Eof()) return {};
    for (int p = kFirstSegmentField; p <= kLastSegmentField; ++p)
        row.SetField(p, QString());
    return row.Update();
}

}  // namespace ostrelle
