#pragma once

#include <QString>

#include <vector>

namespace ostrelle {

// One stored segment: its A and B points as the player's position texts ("MM:SS" or "HH:MM:SS").
struct ABPair {
    QString aText;
    QString bText;
    friend bool operator==(const ABPair&, const ABPair&) = default;
};

// A file's segments in slot order.
using ABList = std::vector<ABPair>;

}  // namespace ostrelle
