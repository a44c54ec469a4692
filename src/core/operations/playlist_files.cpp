#include "core/operations/playlist_files.h"

#include "base/result.h"
#include "core/formats/atomic_file.h"
#include "core/formats/m3u.h"
#include "core/formats/path_names.h"
#include "core/formats/time_values.h"

#include <QFile>
#include <QFileInfo>

namespace ostrelle {
namespace {

constexpr qint64 kMaxListBytes = 64 * 1024 * 1024;

}  // namespace

void PlaylistFiles::OpenList() {
    player_.Stop();
    state_.currentListRow = 1;
    playlist_.SelectPlaylistRow(1);
    const FileChoice choice =
        dialogs_.OpenFile(QString::fromUtf8("播放列表(*.M3U)|*.M3U|所有文件(*.*)|*.*"), QString());
    LoadM3uList(choice.fileName);
}

void PlaylistFiles::LoadM3uList(const QString& listPath) {
    if (listPath.isEmpty()) return;  // the dialog was cancelled
    QFile file(listPath);
    std::optional<Failure> problem;
    if (!QFileInfo(listPath).isFile())
        problem = Failure{FailureCode::CannotRead, QString::fromUtf8("文件不存在")};
    else if (file.size() > kMaxListBytes)
        problem = Failure{FailureCode::TooLarge, {}};
    else if (!file.open(QIODevice::ReadOnly))
        problem = Failure{FailureCode::CannotRead, file.errorString()};
    if (problem) {
        dialogs_.ShowMessage(
            FailureMessage(QString::fromUtf8("无法读取播放列表 %1。").arg(listPath), *problem),
            MessageTitle(), MessageKind::Error);
        return;
    }
    ListEntries(ParseM3u(file.readAll(), listPath));
}

void PlaylistFiles::ListAudioFiles(const QStringList& paths) {
    std::vector<M3uEntry> entries;
    // Without the table, an entry's line number is its grid row less one: these go after the listed.
    const int listed = playlist_.CountPlaylistRows();
    for (int i = 0; i < static_cast<int>(paths.size()); ++i)
        entries.push_back({.lineNumber = listed + i, .path = paths[i]});
    ListEntries(entries);
}

void PlaylistFiles::ListEntries(const std::vector<M3uEntry>& entries) {
    GridModel& grid = window_.playlistGrid;
    const int total = static_cast<int>(entries.size());
    std::optional<Failure> failed;
    int networkAddresses = 0;
    QString firstPath;
    QStringList paths;
    for (const M3uEntry& entry : entries)
        if (!IsNetworkAddress(entry.path)) paths << entry.path;
    lengths_.MeasureAhead(paths);
    for (int i = 0; i < total && !failed; ++i) {
        const auto progress = [&] {
            return dialogs_.ReportProgress(QString::fromUtf8("正在读取播放列表…"), i, total);
        };
        if (!progress()) break;
        const M3uEntry& entry = entries[i];
        // Only files on this machine play; an address would later pass for a deleted file.
        if (IsNetworkAddress(entry.path)) {
            ++networkAddresses;
            continue;
        }
        if (firstPath.isEmpty()) firstPath = entry.path;
        const QString fileName = FileNameOfPath(entry.path).value_or(entry.path);
        // Measured in the background while the progress dialog keeps the window responsive. A file that
        // cannot be measured is listed without a length rather than with a wrong one.
        const std::optional<FileLengths::Length> length = lengths_.Await(entry.path, progress);
        if (!length) break;
        const QString duration =
            length->status == FileLengths::Status::kKnown ? FormatSeconds(length->seconds) : QString();
        if (!database_) {
            // Without the table the grid is the only copy of the list.
            const int row = entry.lineNumber + 1;
            if (row >= grid.Rows()) grid.SetRows(row + 1);
            playlist_.WriteGridRow(row, fileName, duration, entry.path);
            continue;
        }
        failed = StoreEntry(entry.path, fileName, duration);
    }
    lengths_.FinishAhead();
    dialogs_.ReportProgress(QString(), total, total);
    if (database_) playlist_.LoadPlaylistGrid();
    playlist_.FitPlaylistRows();
    // Whatever emptied the list before, the list read in can be saved again.
    if (playlist_.CountPlaylistRows() > 0) EnablePair(window_.saveListButton, window_.saveListItem, true);
    const int firstRow = playlist_.FindPlaylistRow(firstPath);
    state_.currentListRow = firstRow > 0 ? firstRow : 1;
    playlist_.SelectPlaylistRow(state_.currentListRow);
    if (failed)
        dialogs_.ShowMessage(FailureMessage(QString::fromUtf8("播放列表没有全部读入。"), *failed),
                             MessageTitle(), MessageKind::Error);
    if (networkAddresses > 0)
        dialogs_.ShowMessage(
            QString::fromUtf8("列表中的 %1 个网络地址没有加入列表：本程序只播放本机上的文件。")
                .arg(networkAddresses),
            MessageTitle(), MessageKind::Warning);
}

std::optional<Failure> PlaylistFiles::StoreEntry(const QString& path, const QString& fileName,
                                                 const QString& duration) {
    QueryResult result = database_->RowFor(path);
    if (!result.ok()) return result.failure();
    if (!result.value()->Eof()) {
        // A row already there keeps its length; one kept for its segments comes back on the list.
        if (result.value()->Field(kListedField) == QStringLiteral("1")) return std::nullopt;
        const Result<void> relisted = database_->Relist(path);
        return relisted.ok() ? std::nullopt : std::optional<Failure>(relisted.failure());
    }
    Recordset& added = *result.value();
    added.AddNew();
    added.SetField(kFileNameField, fileName);
    added.SetField(kSavePathField, path);
    added.SetField(kPlayTimeField, duration);
    const Result<void> written = added.Update();
    return written.ok() ? std::nullopt : std::optional<Failure>(written.failure());
}

void PlaylistFiles::SaveM3uList() {
    const GridModel& grid = window_.playlistGrid;
    if (grid.CellText(1, kPathColumn).trimmed().isEmpty()) {
        dialogs_.ShowMessage(QString::fromUtf8("表格内没有MP3文件存在！"), MessageTitle(),
                             MessageKind::Warning);
        return;
    }
    const FileChoice choice = dialogs_.SaveFile(QString::fromUtf8("播放列表(*.M3U)|*.M3U "), QString());
    if (choice.Cancelled()) return;

    QStringList paths;
    for (int r = 1; r < grid.Rows() && !grid.CellText(r, kPathColumn).trimmed().isEmpty(); ++r)
        paths << grid.CellText(r, kPathColumn);
    const Result<void> written = WriteFileAtomically(choice.fileName, SerializeM3u(paths, choice.fileName));
    if (!written.ok())
        dialogs_.ShowMessage(FailureMessage(QString::fromUtf8("无法保存播放列表。"), written.failure()),
                             MessageTitle(), MessageKind::Error);
    playlist_.CountPlaylistRows();
}

}  // namespace ostrelle
