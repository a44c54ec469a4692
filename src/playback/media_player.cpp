#include "playback/media_player.h"

#include <cmath>

namespace ostrelle {

QString PositionText(double positionSeconds, double durationSeconds) {
    const long long whole =
        std::isfinite(positionSeconds) && positionSeconds > 0 ? static_cast<long long>(positionSeconds) : 0;
    const auto two = [](long long n) { return QString::number(n).rightJustified(2, u'0'); };
    if (durationSeconds >= 3600)
        return two(whole / 3600) + u':' + two(whole % 3600 / 60) + u':' + two(whole % 60);
    return two(whole / 60) + u':' + two(whole % 60);
}

}  // namespace ostrelle
