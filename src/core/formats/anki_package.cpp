#include "core/formats/anki_package.h"

#include <QByteArray>
#include <QCryptographicHash>

namespace ostrelle {
namespace {

constexpr qint64 kFirstIdMs = 1'000'000'000'000;  // 2001-09-09
constexpr qint64 kIdSpanMs = 500'000'000'000;     // up to 2017-07-14

// Eight bytes of the key's SHA-1 from offset, most significant first: the same on every machine.
quint64 KeyBits(const QString& key, int offset) {
    const QByteArray digest = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1);
    quint64 bits = 0;
    for (int i = offset; i < offset + 8; ++i)
        bits = (bits << 8) | static_cast<quint8>(digest.at(i));
    return bits;
}

}  // namespace

qint64 StableAnkiId(const QString& key) {
    // Anki's database check renumbers notes and cards whose id, read as a creation time, lies ahead.
    return kFirstIdMs + static_cast<qint64>(KeyBits(key, 0) % static_cast<quint64>(kIdSpanMs));
}

QString StableAnkiGuid(const QString& key) {
    // Other bits than the id's, written in letters and digits only so no tool needs to quote the guid.
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    quint64 bits = KeyBits(key, 8);
    QString guid;
    do {
        guid.prepend(QChar::fromLatin1(kDigits[bits % 62]));
        bits /= 62;
    } while (bits != 0);
    return guid;
}

}  // namespace ostrelle
