#pragma once

#include "app/program.h"
#include "support/run_events.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

typedef struct _GstElement GstElement;

namespace ostrelle::bench {

// Dialogs that show nothing: a message is kept for the run to report, a progress is never cancelled.
class QuietDialogs final : public Dialogs {
public:
    MessageAnswer ShowMessage(const QString& text, const QString& title, MessageKind kind) override;
    FileChoice OpenFile(const QString& filter, const QString& initialFileName) override;
    FileChoice SaveFile(const QString& filter, const QString& initialFileName) override;
    int Choose(const QString& /*text*/, const std::vector<QString>& /*options*/) override { return -1; }
    bool ReportProgress(const QString& label, int done, int total) override;

    QStringList messages;
};

// The whole program as it starts (composition root, window, passphrase-keyed database in folder), its
// player playing into a given sink, and the learner's double-click on the grid.
class StartRig {
public:
    // listed: files put in the list beforehand, each with its length text, as a learner's earlier runs left
    // them.
    StartRig(const QString& folder, GstElement* sink, const std::vector<std::pair<QString, QString>>& listed);
    ~StartRig();

    // Through the grid's own double-click signal, so the window's handler and render run as for a learner.
    void DoubleClick(int row);
    Program& program() { return *program_; }
    const QStringList& dialogsShown() const { return dialogs_.messages; }

private:
    QuietDialogs dialogs_;
    std::unique_ptr<Program> program_;
};

// A capture sink that notes when its first buffer after Arm() is rendered (synchronised to the clock).
class FirstSoundSink {
public:
    // A bin to give the player; owns nothing once given.
    GstElement* Make();
    void Arm();
    std::optional<std::chrono::steady_clock::time_point> FirstSound() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

// Writes toneSeconds of a tone from the first sample, then silence up to seconds, through encoder
// ("lamemp3enc ...", no Xing header) into path; empty when done, else what went wrong.
QString WriteTone(const QString& encoder, double toneSeconds, double seconds, const QString& path);

}  // namespace ostrelle::bench
