#pragma once

#include "base/result.h"
#include "core/analysis/sentence_detector.h"
#include "core/ports/update_notifier.h"

#include <QString>

#include <optional>
#include <vector>

namespace ostrelle {

// Splits an audio file into sentences in the background. Calls come from the UI thread and return at
// once. One analysis at a time: starting another, or Cancel(), stops the one under way, whose news are
// then never seen. The update handler runs on the UI thread, from its event loop only (never inside a
// call of this class), as the progress grows (about every 100 ms of work) and once when the analysis ends
// with a result or a problem.
class SentenceAnalyzer : public UpdateNotifier {
public:
    virtual ~SentenceAnalyzer() = default;

    // Starts on path from fromSeconds to its end; the result's times are seconds of the file itself.
    virtual void Analyze(const QString& path, double fromSeconds) = 0;
    // Stops the work under way, promptly; the last result and problem are emptied.
    virtual void Cancel() = 0;

    // The file of the latest Analyze(); empty when none or after Cancel().
    virtual QString Path() const = 0;
    virtual bool Running() const = 0;
    // How much of the work is done, 0..1; 1 once a result is in.
    virtual double Progress() const = 0;
    // The sentences once the analysis has ended without a problem, else empty.
    virtual const std::vector<Sentence>& Result() const = 0;
    // Why the analysis ended without a result; nothing otherwise.
    virtual std::optional<Failure> Problem() const = 0;
};

}  // namespace ostrelle
