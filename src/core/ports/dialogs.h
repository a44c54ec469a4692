#pragma once

#include <QString>

#include <vector>

namespace ostrelle {

// What a message says, which sets its icon and buttons: a question has Yes and No, the others OK.
enum class MessageKind { Information, Warning, Error, Question, QuestionWithCancel };

// The title of every message box of the program.
inline QString MessageTitle() {
    return QStringLiteral("Ostrelle");
}
enum class MessageAnswer { Ok, Yes, No, Cancel };

// A file the learner chose in a dialog: the full path and the name with its extension; both empty when
// the dialog was cancelled.
struct FileChoice {
    QString fileName;
    QString fileTitle;
    bool Cancelled() const { return fileName.isEmpty(); }
};

// The program's dialogs. Each call blocks until the learner answers; tests answer from a script.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual MessageAnswer ShowMessage(const QString& text, const QString& title, MessageKind kind) = 0;
    // filter is in the "description|pattern|description|pattern" form.
    virtual FileChoice OpenFile(const QString& filter, const QString& initialFileName) = 0;
    // As OpenFile, but the learner may choose several files: in the order chosen, none when cancelled.
    virtual std::vector<FileChoice> OpenFiles(const QString& filter, const QString& initialFileName) {
        FileChoice one = OpenFile(filter, initialFileName);
        if (one.Cancelled()) return {};
        return {std::move(one)};
    }
    virtual FileChoice SaveFile(const QString& filter, const QString& initialFileName) = 0;
    // One of options (a button each, in order) or -1 when the learner closed the box.
    virtual int Choose(const QString& text, const std::vector<QString>& options) = 0;
    // Shows how far a long task is and keeps the window responsive; false when the learner cancelled.
    virtual bool ReportProgress(const QString& label, int done, int total) = 0;
};

}  // namespace ostrelle
