#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace ostrelle::testing {

// A zip container written with libzip, entries deflated.
struct ZipEntry {
    QString name;
    QByteArray bytes;
    bool encrypted = false;  // with zip's own AES password, as archivers can do
};
QByteArray BuildZip(const std::vector<ZipEntry>& entries);

// A WordprocessingML document part whose w:body holds body. The namespaces Word writes for drawings, text
// boxes and alternate content are declared.
QByteArray DocumentXml(const QString& body);

// A minimal .docx: content types, the package relationships naming the document part, and that part.
QByteArray BuildDocx(const QString& body, const QString& partName = QStringLiteral("word/document.xml"));

}  // namespace ostrelle::testing
