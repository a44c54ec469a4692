// ostrelle-demo-list DATABASE PATH DURATION [SEGMENT...]: adds one playlist row with its stored segments
// (slot texts such as A00:01B00:04) to a program folder's database, for demonstrations.
#include "adapters/sqlcipher/sqlcipher_playlist_store.h"
#include "core/formats/path_names.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: ostrelle-demo-list DATABASE PATH DURATION [SEGMENT...]\n");
        return 2;
    }
    ostrelle::OpenResult opened = ostrelle::OpenPlaylistStore(args[1]);
    if (!opened.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(ostrelle::FailureMessage(opened.failure())));
        return 1;
    }
    ostrelle::QueryResult result = opened.value()->RowFor(args[2]);
    if (!result.ok()) return 1;
    ostrelle::Recordset& row = *result.value();
    if (row.Eof()) row.AddNew();
    row.SetField(ostrelle::kFileNameField, ostrelle::FileNameOfPath(args[2]).value_or(args[2]));
    row.SetField(ostrelle::kSavePathField, args[2]);
    row.SetField(ostrelle::kPlayTimeField, args[3]);
    for (int i = 4; i < args.size() && i - 4 < ostrelle::kSegmentSlots; ++i)
        row.SetField(ostrelle::kFirstSegmentField + i - 4, args[i]);
    const ostrelle::Result<void> stored = row.Update();
    if (!stored.ok()) std::fprintf(stderr, "%s\n", qPrintable(ostrelle::FailureMessage(stored.failure())));
    return stored.ok() ? 0 : 1;
}
