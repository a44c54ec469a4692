#pragma once

#include "core/ports/dialogs.h"

#include <QStringList>

#include <deque>
#include <vector>

namespace ostrelle {

// Dialogs answered from a script; every question asked is recorded.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        QString text;
        QString title;
        MessageKind kind;
    };

    MessageAnswer ShowMessage(const QString& text, const QString& title, MessageKind kind) override {
        shown.push_back({text, title, kind});
        if (answers.empty()) {
            if (kind == MessageKind::QuestionWithCancel) return MessageAnswer::Cancel;
            return kind != MessageKind::Question ? MessageAnswer::Ok : MessageAnswer::No;
        }
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    FileChoice OpenFile(const QString& filter, const QString& initialFileName) override {
        return NextFile(filter, initialFileName);
    }
    std::vector<FileChoice> OpenFiles(const QString& filter, const QString& initialFileName) override {
        if (severalFiles.empty()) return Dialogs::OpenFiles(filter, initialFileName);
        std::vector<FileChoice> chosen = std::move(severalFiles.front());
        severalFiles.pop_front();
        return chosen;
    }
    FileChoice SaveFile(const QString& filter, const QString& initialFileName) override {
        return NextFile(filter, initialFileName);
    }

    int Choose(const QString& text, const std::vector<QString>& options) override {
        shown.push_back({text + u'|' + QStringList(options.begin(), options.end()).join(u'|'),
                         {},
                         MessageKind::Question});
        if (choices.empty()) return -1;
        const int chosen = choices.front();
        choices.pop_front();
        return chosen;
    }

    bool ReportProgress(const QString& /*label*/, int done, int /*total*/) override {
        ++progressReports;
        return cancelAtProgress < 0 || done < cancelAtProgress;
    }

    std::deque<MessageAnswer> answers;
    std::deque<int> choices;    // answers to Choose; an empty queue closes the box
    int cancelAtProgress = -1;  // ReportProgress answers "cancelled" from this count on
    int progressReports = 0;
    std::deque<FileChoice> files;                      // an empty queue cancels
    std::deque<std::vector<FileChoice>> severalFiles;  // answers to OpenFiles before files is asked
    std::vector<Shown> shown;
    std::vector<std::pair<QString, QString>> fileDialogs;  // filter and initial name of each dialog

private:
    FileChoice NextFile(const QString& filter, const QString& initialFileName) {
        fileDialogs.emplace_back(filter, initialFileName);
        if (files.empty()) return {};
        FileChoice choice = files.front();
        files.pop_front();
        return choice;
    }
};

}  // namespace ostrelle
