#include "core/operations/playlist.h"

#include "core/formats/path_names.h"
#include "core/formats/time_values.h"
#include "core/operations/documents.h"

#include <QFileInfo>

#include <utility>

namespace ostrelle {
namespace {

// Less than this lists as 0:00: a file cut short after a few frames, with nothing to repeat.
constexpr double kShortestLessonSeconds = 0.5;

}  // namespace

void Playlist::SetCentredColumn(int col) {
    GridModel& grid = window_.playlistGrid;
    grid.SetAlignment(1, col, grid.Rows() - 1, col, GridModel::kAlignCentre);
}

void Playlist::WriteGridRow(int row, const QString& fileName, const QString& durationText,
                            const QString& path) {
    GridModel& grid = window_.playlistGrid;
    grid.SetCellText(row, kNumberColumn, QString::number(row) + u'.');
    grid.SetCellText(row, kFileNameColumn, fileName);
    grid.SetCellText(row, kDurationColumn, durationText);
    grid.SetCellText(row, kPathColumn, path);
}

void Playlist::LoadPlaylistGrid() {
    GridModel& grid = window_.playlistGrid;
    grid.ClearRange(1, 1, grid.Rows() - 1, 5);
    SetCentredColumn(1);
    grid.SetAlignment(1, kFileNameColumn, grid.Rows() - 1, kFileNameColumn, GridModel::kAlignLeft);
    SetCentredColumn(kDurationColumn);

    if (database_) {
        QueryResult result = database_->ListedRows();
        if (result.ok()) {
            Recordset& rows = *result.value();
            int r = 1;
            for (rows.MoveFirst(); !rows.Eof(); rows.MoveNext(), ++r) {
                if (r > 10) grid.SetRows(grid.Rows() + 1);
                WriteGridRow(r, rows.Field(kFileNameField).value_or(QString()),
                             rows.Field(kPlayTimeField).value_or(QString()),
                             rows.Field(kSavePathField).value_or(QString()));
            }
        }
    }
    FitPlaylistRows();
    SetCentredColumn(kDurationColumn);
}

void Playlist::FitPlaylistRows() {
    GridModel& grid = window_.playlistGrid;
    int i = 1;
    while (i < grid.Rows() && !grid.CellText(i, kFileNameColumn).trimmed().isEmpty())
        ++i;
    grid.SetRows(i > 11 ? i + 2 : 12);
}

int Playlist::CountPlaylistRows() {
    const GridModel& grid = window_.playlistGrid;
    int i = 1;
    while (i < grid.Rows() && !grid.CellText(i, kFileNameColumn).isEmpty())
        ++i;
    const int count = i - 1;
    EnablePair(window_.clearListButton, window_.clearListItem, count > 0);
    EnablePair(window_.deleteEntryButton, window_.deleteEntryItem, count > 0);
    return count;
}

int Playlist::FindPlaylistRow(const QString& path) const {
    const GridModel& grid = window_.playlistGrid;
    for (int r = 1; r < grid.Rows(); ++r)
        if (grid.CellText(r, kPathColumn) == path) return r;
    return 0;
}

void Playlist::SelectPlaylistRow(int row) {
    GridModel& grid = window_.playlistGrid;
    grid.SelectRange(row, 1, row, kPathColumn);
    const QString path = grid.CellText(row, kPathColumn);
    if (!path.isEmpty())
        state_.currentListPath = path;
    else
        EnablePair(window_.deleteEntryButton, window_.deleteEntryItem, false);
}

void Playlist::TellIfFailed(const Result<void>& written, const QString& what) {
    if (!written.ok())
        dialogs_.ShowMessage(FailureMessage(what, written.failure()), MessageTitle(), MessageKind::Error);
}

void Playlist::SelectEntry() {
    window_.passesLeftLabel.caption.clear();
    GridModel& grid = window_.playlistGrid;
    // The row the learner picked is the highlighted one, and the one delete-entry removes.
    grid.SelectRange(grid.ActiveRow(), 1, grid.ActiveRow(), kPathColumn);
    const QString path = grid.CellText(grid.ActiveRow(), kPathColumn);
    if (!path.isEmpty()) state_.currentListPath = path;
    EnablePair(window_.deleteEntryButton, window_.deleteEntryItem, !path.isEmpty());
}

void Playlist::PlayEntry() {
    window_.passesLeftLabel.caption.clear();
    const int row = window_.playlistGrid.ActiveRow();
    window_.playlistGrid.SelectRange(row, 1, row, kPathColumn);
    state_.currentListRow = row;
    const QString path = window_.playlistGrid.CellText(row, kPathColumn);
    if (path.trimmed().isEmpty()) return;
    if (QFileInfo(path).isFile()) {
        hooks_.startAudioFile(path);
        hooks_.loadFileSegments(path, row);
        return;
    }
    dialogs_.ShowMessage(QString::fromUtf8("播放文件不存在或被删除，此列表内容将会被删除！"), MessageTitle(),
                         MessageKind::Warning);
    state_.currentListPath = path;
    DeletePlaylistEntry();
}

void Playlist::PlayRow(int row) {
    if (row <= 0) return;
    window_.playlistGrid.SetActiveCell(row, kFileNameColumn);
    PlayEntry();
}

int Playlist::ListedRowBeside(int step) const {
    const int row = state_.currentListRow + step;
    const GridModel& grid = window_.playlistGrid;
    if (row < 1 || row >= grid.Rows() || grid.CellText(row, kFileNameColumn).isEmpty()) return 0;
    return row;
}

void Playlist::PlayEntryBeside(int step) {
    PlayRow(ListedRowBeside(step));
}

void Playlist::ClearPlaylist() {
    if (dialogs_.ShowMessage(
            QString::fromUtf8("真的全部清空表格吗?\n各文件的AB段点会保留，文件再次加入列表时即可恢复。"),
            QString::fromUtf8("提示"), MessageKind::Question) != MessageAnswer::Yes)
        return;
    state_.ForgetCurrentSegment();
    state_.markingOff = true;
    // One command, one transaction: the list is either emptied or left whole, and the refill shows which.
    if (database_) TellIfFailed(database_->UnlistAll(), QString::fromUtf8("播放列表没有清空。"));
    LoadPlaylistGrid();
    Window& w = window_;
    EnablePair(w.deleteEntryButton, w.deleteEntryItem, false);
    EnablePair(w.clearListButton, w.clearListItem, false);
    EnablePair(w.saveListButton, w.saveListItem, false);
    w.playlistGrid.FocusTopLeft();
}

void Playlist::DeletePlaylistEntry() {
    state_.ForgetCurrentSegment();
    state_.markingOff = true;
    if (database_)
        TellIfFailed(database_->Unlist(state_.currentListPath), QString::fromUtf8("列表项没有删除。"));
    LoadPlaylistGrid();
    window_.playlistGrid.FocusTopLeft();
    EnablePair(window_.deleteEntryButton, window_.deleteEntryItem, false);
}

std::optional<double> Playlist::MeasuredDuration(const QString& path) {
    // The measured length is exact where the player's figure is an estimate: the player's serves only
    // for a file that cannot be measured.
    const FileLengths::Length length = lengths_.Of(path);
    if (length.status == FileLengths::Status::kKnown) return length.seconds;
    if (length.status == FileLengths::Status::kMeasuring) return std::nullopt;
    if (player_.Url() == path && player_.Duration() > 0) return player_.Duration();
    return std::nullopt;
}

bool Playlist::ReportIfUnplayable(const QString& path) {
    if (player_.Url() != path || player_.ErrorText().isEmpty()) return false;
    ReportUnplayable(path, {FailureCode::NotAudio, player_.ErrorText()});
    return true;
}

void Playlist::ReportUnplayable(const QString& path, const Failure& failure) {
    Window& w = window_;
    w.listingTimer.enabled = false;
    w.sequentialPlayTimer.enabled = false;
    // Nothing of the file shown before may pass for this one's.
    state_.abList.clear();
    state_.hasAB = false;
    state_.ForgetCurrentSegment();
    state_.markingOff = true;
    ClearTextPane(w, state_);
    // Its own row, when listed, stays highlighted; another file's does not.
    int row = state_.currentListRow;
    if (w.playlistGrid.CellText(row, kPathColumn) != path) row = FindPlaylistRow(path);
    w.playlistGrid.SelectRange(row > 0 ? row : -1, 1, row > 0 ? row : -1, kPathColumn);
    const QString name = FileNameOfPath(path).value_or(path);
    dialogs_.ShowMessage(FailureMessage(name + QString::fromUtf8("："), failure), MessageTitle(),
                         MessageKind::Error);
    // The learner keeps the lesson they had.
    if (state_.lessonBefore && state_.lessonBefore->path != path && hooks_.returnToLesson)
        hooks_.returnToLesson(*std::exchange(state_.lessonBefore, std::nullopt));
}

void Playlist::ListPlayingFile() {
    window_.listingTimer.enabled = false;
    const QString path = state_.currentAudioPath;
    if (ReportIfUnplayable(path)) return;
    const std::optional<double> seconds = MeasuredDuration(path);
    if (!seconds) {
        // Still opening: look again shortly, a bounded number of times. A file that never yields a
        // length is not listed with a made-up one. Measuring in the background is waited for.
        if (lengths_.IsMeasuring(path)) {
            window_.listingTimer = {true, kListingIntervalMs};
        } else if (state_.durationRetries > 0) {
            --state_.durationRetries;
            window_.listingTimer = {true, kListingIntervalMs};
        }
        return;
    }
    // A file cut short after a few frames lists as 0:00 and holds nothing to repeat.
    if (*seconds < kShortestLessonSeconds) {
        player_.Stop();
        ReportUnplayable(path, {FailureCode::NotAudio, QString::fromUtf8("文件里只有不到半秒的声音")});
        return;
    }
    const QString duration = FormatSeconds(*seconds);
    const std::optional<QString> fileName = FileNameOfPath(path);
    if (!fileName || !database_) return;

    QueryResult result = database_->RowFor(path);
    if (!result.ok()) return;
    if (!result.value()->Eof() && result.value()->Field(kListedField) != QStringLiteral("1")) {
        // Kept off the list for its segments: listing it again brings them back.
        if (!database_->Relist(path).ok()) return;
        result = database_->RowFor(path);
        if (!result.ok()) return;
    }
    Recordset& row = *result.value();
    GridModel& grid = window_.playlistGrid;
    const bool listed = !row.Eof();
    if (!listed) row.AddNew();
    row.SetField(kFileNameField, *fileName);
    row.SetField(kSavePathField, path);
    row.SetField(kPlayTimeField, duration);
    if (!row.Update().ok()) return;

    // A file listed twice keeps the row it was started from, so that sequential play goes on below it.
    int gridRow = state_.currentListRow;
    if (listed && grid.CellText(gridRow, kPathColumn) != path) gridRow = FindPlaylistRow(path);
    if (!listed) grid.SetRows(grid.Rows() + 1);
    if (gridRow <= 0) gridRow = CountPlaylistRows() + 1;  // in the table but not shown: append it
    if (gridRow >= grid.Rows()) grid.SetRows(gridRow + 1);
    state_.currentListRow = gridRow;
    WriteGridRow(gridRow, *fileName, duration, path);

    SelectPlaylistRow(gridRow);
    if (CountPlaylistRows() > 0) EnablePair(window_.clearListButton, window_.clearListItem, true);
    SetCentredColumn(kDurationColumn);
}

void Playlist::PlayNextWhenEnded() {
    window_.sequentialPlayTimer.intervalMs = kListingIntervalMs;
    // Only a file that played to its end moves the list on; a stop, a failed open or a new list does not.
    if (player_.PlayState() != kPlayStateStopped || !player_.EndedByItself()) return;
    if (window_.sequentialPlayBox.value != 1) {
        window_.sequentialPlayTimer.enabled = false;
        return;
    }
    ++state_.currentListRow;
    const GridModel& grid = window_.playlistGrid;
    if (grid.CellText(state_.currentListRow, kFileNameColumn).isEmpty()) {
        window_.sequentialPlayTimer.enabled = false;
        return;
    }
    const QString path = grid.CellText(state_.currentListRow, kPathColumn);
    state_.currentAudioPath = path;
    hooks_.startAudioFile(path);
    // The learner sees the new file's own segments, not the previous file's.
    hooks_.loadFileSegments(path, state_.currentListRow);
}

}  // namespace ostrelle
