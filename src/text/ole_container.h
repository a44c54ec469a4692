#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>

namespace ostrelle {

// An OLE2 compound file (the container of Word 97-2003 documents) held in memory, read through libgsf.
class OleContainer {
public:
    // The container in bytes, or nothing with a reason when they are not a readable compound file.
    // bytes must outlive the container: its streams are read from them in place.
    static std::unique_ptr<OleContainer> Open(const QByteArray& bytes, QString* reason);
    ~OleContainer();
    OleContainer(const OleContainer&) = delete;
    OleContainer& operator=(const OleContainer&) = delete;

    // True when bytes start with the compound file signature.
    static bool HasSignature(QByteArrayView bytes);

    bool HasStream(const char* name) const;
    // The whole top-level stream, or nothing when it is absent, larger than maxBytes or cannot be read.
    std::optional<QByteArray> Stream(const char* name, qint64 maxBytes) const;

private:
    struct Handles;
    explicit OleContainer(std::unique_ptr<Handles> handles);

    std::unique_ptr<Handles> handles_;
};

}  // namespace ostrelle
