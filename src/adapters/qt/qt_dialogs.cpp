#include "adapters/qt/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include <algorithm>

namespace ostrelle {

QString QtFileFilter(const QString& filter) {
    static const QRegularExpression kSeparators(QStringLiteral("[;\\s]+"));
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(kSeparators, Qt::SkipEmptyParts)) {
            patterns << pattern;
            // File names on this system are case-sensitive; lists made on Windows are not.
            if (pattern != QStringLiteral("*.*")) {
                if (pattern.toLower() != pattern) patterns << pattern.toLower();
                if (pattern.toUpper() != pattern) patterns << pattern.toUpper();
            }
        }
        QString description = parts[i].trimmed();
        const qsizetype paren = description.indexOf(u'(');
        if (paren > 0) description = description.left(paren).trimmed();
        entries << description + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return entries.join(QStringLiteral(";;"));
}

MessageAnswer QtDialogs::ShowMessage(const QString& text, const QString& title, MessageKind kind) {
    switch (kind) {
        case MessageKind::Question:
            return QMessageBox::question(parent_, title, text, QMessageBox::Yes | QMessageBox::No,
                                         QMessageBox::No) == QMessageBox::Yes
                       ? MessageAnswer::Yes
                       : MessageAnswer::No;
        case MessageKind::QuestionWithCancel:
            switch (QMessageBox::question(parent_, title, text,
                                          QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                          QMessageBox::Cancel)) {
                case QMessageBox::Yes:
                    return MessageAnswer::Yes;
                case QMessageBox::No:
                    return MessageAnswer::No;
                default:
                    return MessageAnswer::Cancel;
            }
        case MessageKind::Warning:
            QMessageBox::warning(parent_, title, text, QMessageBox::Ok);
            break;
        case MessageKind::Error:
            QMessageBox::critical(parent_, title, text, QMessageBox::Ok);
            break;
        case MessageKind::Information:
            QMessageBox::information(parent_, title, text, QMessageBox::Ok);
            break;
    }
    return MessageAnswer::Ok;
}

FileChoice QtDialogs::OpenFile(const QString& filter, const QString& initialFileName) {
    const QString name =
        QFileDialog::getOpenFileName(parent_, QString(), initialFileName, QtFileFilter(filter));
    return {name, name.isEmpty() ? QString() : QFileInfo(name).fileName()};
}

std::vector<FileChoice> QtDialogs::OpenFiles(const QString& filter, const QString& initialFileName) {
    std::vector<FileChoice> chosen;
    for (const QString& name :
         QFileDialog::getOpenFileNames(parent_, QString(), initialFileName, QtFileFilter(filter)))
        chosen.push_back({name, QFileInfo(name).fileName()});
    return chosen;
}

QString DefaultSuffix(const QString& filter) {
    // The first filter's pattern: "播放列表(*.M3U)|*.M3U " gives "m3u".
    const QString pattern = filter.section(u'|', 1, 1).section(u';', 0, 0).trimmed();
    if (!pattern.startsWith(QStringLiteral("*.")) || pattern.mid(1).contains(u'*')) return {};
    return pattern.mid(2).toLower();
}

FileChoice QtDialogs::SaveFile(const QString& filter, const QString& initialFileName) {
    QFileDialog dialog(parent_, QString(), initialFileName, QtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without an extension gets the filter's, before the question about overwriting, so
    // that the open dialogs find the file again.
    dialog.setDefaultSuffix(DefaultSuffix(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString name = dialog.selectedFiles().constFirst();
    return {name, QFileInfo(name).fileName()};
}

int QtDialogs::Choose(const QString& text, const std::vector<QString>& options) {
    QMessageBox box(QMessageBox::Question, MessageTitle(), text, QMessageBox::NoButton, parent_);
    std::vector<QAbstractButton*> buttons;
    for (const QString& option : options)
        buttons.push_back(box.addButton(option, QMessageBox::AcceptRole));
    box.addButton(QString::fromUtf8("取消"), QMessageBox::RejectRole);
    box.exec();
    const auto chosen = std::find(buttons.begin(), buttons.end(), box.clickedButton());
    return chosen == buttons.end() ? -1 : static_cast<int>(chosen - buttons.begin());
}

bool QtDialogs::ReportProgress(const QString& label, int done, int total) {
    if (done >= total) {
        // Gone now, not later: a message shown next runs a loop of its own, where a deferred delete would
        // wait and the dialog's own show timer could bring it back over the message, modal and in the way.
        delete progress_.data();
        progress_.clear();
        return true;
    }
    if (!progress_) {
        progress_ = new QProgressDialog(label, QString::fromUtf8("取消"), 0, total, parent_);
        progress_->setWindowModality(Qt::WindowModal);
        progress_->setMinimumDuration(500);
    }
    progress_->setLabelText(label);
    progress_->setMaximum(total);
    progress_->setValue(done);
    QApplication::processEvents();
    return !progress_->wasCanceled();
}

}  // namespace ostrelle
