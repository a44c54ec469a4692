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
            MessageTitle(), MessageButtons::Ok);
        return;
    }
    const std::vector<M3uEntry> entries = ParseM3u(file.readAll(), listPath);

    GridModel& grid = window_.playlistGrid;
    const int total = static_cast<int>(entries.size());
    for (int i = 0; i < total; ++i) {
        if (!dialogs_.ReportProgress(QString::fromUtf8("正在读取播放列表…"), i, total)) break;
        const M3uEntry& entry = entries[i];
        const int row = entry.lineNumber + 1;
        if (entry.lineNumber > 10) grid.SetRows(grid.Rows() + 1);
        if (row >= grid.Rows()) grid.SetRows(row + 1);
        const QString fileName = FileNameOfPath(entry.path).value_or(entry.path);
        // A file that cannot be measured is listed without a length rather than with a wrong one.
        const std::optional<double> seconds = probe_.ProbeSeconds(entry.path);
        const QString duration = seconds ? FormatSeconds(*seconds) : QString();
        playlist_.WriteGridRow(row, fileName, duration, entry.path);
        grid.SetAlignment(row, 3, grid.Rows() - 1, 3, GridModel::kAlignCentre);

        if (!database_) continue;
        QueryResult result = database_->RowFor(entry.path);
        if (!result.ok()) break;
        if (result.value()->Eof()) {
            Recordset& added = *result.value();
            added.AddNew();
            added.SetField(kFileNameField, fileName);
            added.SetField(kSavePathField, entry.path);
            added.SetField(kPlayTimeField, duration);
            if (!added.Update().ok()) break;
        }
    }
    dialogs_.ReportProgress(QString(), total, total);
    playlist_.FitPlaylistRows();
    playlist_.CountPlaylistRows();
    state_.currentListRow = 1;
    playlist_.SelectPlaylistRow(1);
}

void PlaylistFiles::SaveM3uList() {
    const GridModel& grid = window_.playlistGrid;
    if (grid.CellText(1, kPathColumn).trimmed().isEmpty()) {
        dialogs_.ShowMessage(QString::fromUtf8("表格内没有MP3文件存在！"), MessageTitle(),
                             MessageButtons::Ok);
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
                             MessageTitle(), MessageButtons::Ok);
    playlist_.CountPlaylistRows();
}

}  // namespace ostrelle
