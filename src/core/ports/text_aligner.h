#pragma once

#include "base/result.h"
#include "core/analysis/text_alignment.h"
#include "core/ports/update_notifier.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace ostrelle {

// Places a text's sentences in an audio file in the background. Calls come from the UI thread and return
// at once. One alignment at a time: starting another, or Cancel(), stops the one under way, whose news
// are then never seen. The update handler runs on the UI thread, from its event loop only, as the work
// goes on and once when it ends with a result or a problem.
class TextAligner : public UpdateNotifier {
public:
    virtual ~TextAligner() = default;

    // Starts on the whole of path, the sentences read with voice (an espeak-ng voice name).
    virtual void Align(const QString& path, const QStringList& sentences, const QString& voice) = 0;
    virtual void Cancel() = 0;

    // The file of the latest Align(); empty when none or after Cancel().
    virtual QString Path() const = 0;
    virtual bool Running() const = 0;
    // How much of the work is done, 0..1.
    virtual double Progress() const = 0;
    // Once ended without a problem: for each sentence, where it is spoken, or nothing.
    virtual const std::vector<std::optional<PlacedSentence>>& Result() const = 0;
    virtual std::optional<Failure> Problem() const = 0;
};

}  // namespace ostrelle
