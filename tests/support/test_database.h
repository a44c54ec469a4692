#pragma once

#include <QString>

namespace ostrelle {

// A raw key skips the key derivation that the real passphrase costs at every open.
inline const QString kTestKey =
    QStringLiteral("x'2DD29CA851E7B56E4697B0E1F08507293D761A05CE4D1B628663F411A8086D99'");

}  // namespace ostrelle
