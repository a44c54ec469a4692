#pragma once

#include "core/model/commands.h"

#include <QString>

namespace ostrelle {

// A capability that plugs into the controller beside the plain repeater: the commands it owns, its part
// of the window that follows from its state, and letting go of a lesson when another one starts.
class Feature {
public:
    virtual bool Owns(Command command) const = 0;
    virtual void Run(Command command) = 0;
    // Before each render.
    virtual void Present() {}
    // Another lesson started. The player already holds it, so a feature may not pause, seek or stop it.
    virtual void LessonChanged(const QString& /*path*/) {}

protected:
    ~Feature() = default;
};

}  // namespace ostrelle
