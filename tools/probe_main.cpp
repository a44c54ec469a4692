// ostrelle-probe FILE...: the duration the playlist would record for each file.
// Prints "<time text>\t<seconds, 3 decimals>\t<path>" per file; a file that cannot be measured is
// reported on stderr and the tool goes on. Exit code 0 when every file was measured, 1 otherwise.

#include "adapters/gst/gst_duration_probe.h"
#include "core/formats/time_values.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList paths = application.arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (paths.isEmpty()) {
        err << "usage: ostrelle-probe FILE...\n";
        return 2;
    }

    ostrelle::GstDurationProbe probe;
    bool allMeasured = true;
    for (const QString& path : paths) {
        const ostrelle::ProbeResult result = probe.Probe(path);
        if (result.ok()) {
            out << ostrelle::FormatSeconds(result.value()) << '\t' << QString::number(result.value(), 'f', 3)
                << '\t' << path << '\n';
        } else {
            out.flush();
            err << "ostrelle-probe: " << path << ": " << result.failure().detail << '\n';
            err.flush();
            allMeasured = false;
        }
    }
    return allMeasured ? 0 : 1;
}
