#pragma once

#include "core/ports/dialogs.h"

#include <QPointer>
#include <QProgressDialog>

class QWidget;

namespace ostrelle {

// The program's dialogs as Qt file dialogs, message boxes and a progress dialog.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    MessageAnswer ShowMessage(const QString& text, const QString& title, MessageKind kind) override;
    int Choose(const QString& text, const std::vector<QString>& options) override;
    FileChoice OpenFile(const QString& filter, const QString& initialFileName) override;
    std::vector<FileChoice> OpenFiles(const QString& filter, const QString& initialFileName) override;
    FileChoice SaveFile(const QString& filter, const QString& initialFileName) override;
    bool ReportProgress(const QString& label, int done, int total) override;

private:
    QWidget* parent_;
    QPointer<QProgressDialog> progress_;
};

// "desc|patterns|desc|patterns" (patterns apart by ";" or spaces) to Qt's "desc (patterns);;…"; each
// "*.ext" matches in either letter case.
QString QtFileFilter(const QString& filter);
// The extension a saved file gets when its name is typed without one: the first pattern's, in lower case.
QString DefaultSuffix(const QString& filter);

}  // namespace ostrelle
