#pragma once

#include <QString>

namespace ostrelle {

// A feature that works on the lesson being played. When another lesson starts, each lets go of the old
// one. The player already holds the new lesson by then, so none may pause, seek or stop it.
class LessonFollower {
public:
    virtual void LessonChanged(const QString& path) = 0;

protected:
    ~LessonFollower() = default;
};

}  // namespace ostrelle
