#include "app/command_line.h"

#include <QDir>
#include <QUrl>

namespace ostrelle {
namespace {

QString Usage() {
    return QString::fromUtf8(
        "用法: ostrelle [文件或文件夹…]\n"
        "Usage: ostrelle [FILE or FOLDER...]\n"
        "\n"
        "打开音频文件、播放列表(.m3u/.m3u8)或文本(.txt/.lrc/.srt/.rtf/.doc/.docx)。\n"
        "Opens audio files, playlists (.m3u/.m3u8) or texts (.txt/.lrc/.srt/.rtf/.doc/.docx).\n"
        "程序已在运行时，文件交给已打开的窗口。\n"
        "When the program is already running, the files go to its window.\n"
        "\n"
        "  -h, --help     显示此帮助 / show this help\n"
        "  -v, --version  显示版本 / show the version\n");
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments, const QString& currentFolder) {
    CommandLine line;
    const QDir current(currentFolder);
    bool options = true;
    for (const QString& argument : arguments.mid(1)) {
        if (options && argument == QStringLiteral("--")) {
            options = false;
        } else if (options && (argument == QStringLiteral("--help") || argument == QStringLiteral("-h"))) {
            return {.files = {}, .message = Usage(), .exitCode = 0};
        } else if (options && (argument == QStringLiteral("--version") || argument == QStringLiteral("-v"))) {
            return {.files = {},
                    .message = QStringLiteral("Ostrelle %1\n").arg(QStringLiteral(OSTRELLE_VERSION)),
                    .exitCode = 0};
        } else if (options && argument.startsWith(u'-') && argument.size() > 1) {
            return {.files = {},
                    .message = QString::fromUtf8("未知选项 / unknown option: %1\n\n").arg(argument) + Usage(),
                    .exitCode = 2};
        } else if (argument.startsWith(QStringLiteral("file://"))) {
            // Some file managers hand over addresses even when %F asks for paths.
            line.files << QDir::cleanPath(QUrl(argument).toLocalFile());
        } else if (!argument.isEmpty()) {
            line.files << QDir::cleanPath(current.absoluteFilePath(argument));
        }
    }
    return line;
}

}  // namespace ostrelle
