#include "app/chinese_qt_texts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstring>

namespace ostrelle {
namespace {

// Texts whose context moved in Qt 6 (the file dialog's Type column) and have no translation there yet.
class MissingQtTexts final : public QTranslator {
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char* context, const char* sourceText, const char* /*disambiguation*/,
                      int /*n*/) const override {
        struct Text {
            const char* context;
            const char* source;
            const char* chinese;
        };
        static constexpr Text kTexts[] = {
            {"QAbstractFileIconProvider", "Drive", "驱动器"},
            {"QAbstractFileIconProvider", "Folder", "文件夹"},
            {"QAbstractFileIconProvider", "File Folder", "文件夹"},
            {"QAbstractFileIconProvider", "Shortcut", "快捷方式"},
            {"QAbstractFileIconProvider", "Alias", "替身"},
            {"QAbstractFileIconProvider", "%1 File", "%1 文件"},
            {"QAbstractFileIconProvider", "File", "文件"},
        };
        if (!context || !sourceText) return {};
        for (const Text& text : kTexts) {
            if (std::strcmp(text.context, context) == 0 && std::strcmp(text.source, sourceText) == 0)
                return QString::fromUtf8(text.chinese);
        }
        return {};
    }
};

}  // namespace

void InstallChineseQtTexts() {
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    auto* app = QCoreApplication::instance();
    // Every Qt module the program uses keeps its texts in qtbase's translations.
    auto* translator = new QTranslator(app);
    if (translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
    // Installed last, so asked first: it answers only for its own few texts.
    QCoreApplication::installTranslator(new MissingQtTexts(app));
}

}  // namespace ostrelle
