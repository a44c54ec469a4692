#pragma once

#include "core/formats/segment_text.h"
#include "core/ports/playlist_store.h"

namespace ostrelle {

struct LoadedSegments {
    ABList list;
    bool hasAB = false;  // at least one used slot
};

// A file's segments in the slots of its playlist row. Slots are used from the first upward without gaps;
// Null means never used, a blank text means freed.
class SegmentStore {
public:
    // database may be null when it could not be opened: every call then fails without touching anything.
    explicit SegmentStore(PlaylistStore* database) : database_(database) {}

    // The segments of the path's row, in slot order, up to the first Null slot; blank slots are skipped.
    Result<LoadedSegments> LoadABList(const QString& path) const;

    // Stores the segment in the first free slot of the path's row; with all slots taken the oldest
    // segment drops and the rest move down. A path without a row gets one (file name, path, the file's
    // length), so that nothing the learner marked is lost.
    Result<void> StoreSegment(const QString& path, const ABPair& segment, double lengthSeconds);

    // Stores segments in the free slots after the segments kept (all of them, or none with replace), in
    // one update; those beyond the last slot are not stored. A path without a row gets one.
    Result<void> StoreSegments(const QString& path, const ABList& segments, double lengthSeconds,
                               bool replace);

    // Writes the segment over segment number (1-based), in place. No row or no such segment: nothing happens.
    Result<void> ReplaceSegment(const QString& path, int number, const ABPair& segment);

    // Frees segment number (1-based) and moves the later ones down. No row: nothing happens.
    Result<void> DeleteSegment(const QString& path, int number);

    // Writes the empty text into every slot of the path's row.
    Result<void> DeleteAllSegments(const QString& path);

private:
    Failure Unavailable() const;

    PlaylistStore* database_;
};

}  // namespace ostrelle
