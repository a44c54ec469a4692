#include "text/docx_reader.h"

#include "text/wordprocessing_ml.h"

#include <QDir>
#include <QXmlStreamReader>

#include <zip.h>

#include <memory>
#include <optional>

namespace ostrelle {
namespace {

constexpr char kDefaultMainPart[] = "word/document.xml";
// No package's relationship list comes near this.
constexpr qint64 kMaxRelationshipBytes = 1024 * 1024;

Failure Fail(FailureCode code, const QString& detail) {
    return {code, detail};
}

struct ArchiveDiscarder {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
    void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};

QString ZipReason(zip_error_t* error) {
    return QString::fromUtf8(zip_error_strerror(error));
}

// Word never encrypts entries, but an archiver can put its own password on them.
bool IsEncryptionError(zip_error_t* error) {
    const int code = zip_error_code_zip(error);
    return code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_ENCRNOTSUPP;
}

// The entry's unpacked bytes. Unpacking stops past maxBytes, whatever size the directory claims, so a small
// entry that unpacks to gigabytes costs no more than maxBytes of memory.
Result<QByteArray> ReadEntry(zip_t* archive, zip_int64_t index, const QString& name, qint64 maxBytes) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) == 0) {
        if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
            return Fail(FailureCode::Encrypted,
                        QStringLiteral("%1 is encrypted (password-protected)").arg(name));
        if ((stat.valid & ZIP_STAT_SIZE) && stat.size > static_cast<zip_uint64_t>(maxBytes))
            return Fail(FailureCode::TooLarge,
                        QStringLiteral("%1 unpacks to %2 bytes, at most %3 can be shown")
                            .arg(name)
                            .arg(stat.size)
                            .arg(maxBytes));
    }
    const std::unique_ptr<zip_file_t, EntryCloser> entry(
        zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0));
    if (!entry) {
        zip_error_t* error = zip_get_error(archive);
        return Fail(IsEncryptionError(error) ? FailureCode::Encrypted : FailureCode::Damaged,
                    QStringLiteral("%1 cannot be opened: %2").arg(name, ZipReason(error)));
    }
    QByteArray bytes;
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const zip_int64_t got = zip_fread(entry.get(), chunk.data(), static_cast<zip_uint64_t>(chunk.size()));
        if (got < 0)
            return Fail(FailureCode::Damaged, QStringLiteral("%1 cannot be unpacked: %2")
                                                  .arg(name, ZipReason(zip_file_get_error(entry.get()))));
        if (got == 0) break;
        bytes.append(chunk.constData(), static_cast<qsizetype>(got));
        if (bytes.size() > maxBytes)
            return Fail(FailureCode::TooLarge,
                        QStringLiteral("%1 unpacks to over %2 bytes").arg(name).arg(maxBytes));
    }
    return bytes;
}

// The document part the package's relationships name, if they can be read and name one inside the package.
std::optional<QString> RelatedMainPart(zip_t* archive) {
    const zip_int64_t index = zip_name_locate(archive, "_rels/.rels", ZIP_FL_NOCASE);
    if (index < 0) return std::nullopt;
    const Result<QByteArray> relationships =
        ReadEntry(archive, index, QStringLiteral("_rels/.rels"), kMaxRelationshipBytes);
    if (!relationships.ok()) return std::nullopt;
    QXmlStreamReader xml(relationships.value());
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::DTD) return std::nullopt;
        if (token != QXmlStreamReader::StartElement || xml.name() != u"Relationship") continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (!attributes.value(QLatin1StringView("Type")).endsWith(u"/relationships/officeDocument") ||
            attributes.value(QLatin1StringView("TargetMode")) == u"External")
            continue;
        // Targets are relative to the package's root, or absolute from it.
        QString target = QDir::cleanPath(attributes.value(QLatin1StringView("Target")).toString());
        if (target.startsWith(u'/')) target.remove(0, 1);
        if (target.isEmpty() || target.startsWith(u"..")) return std::nullopt;
        return target;
    }
    return std::nullopt;
}

}  // namespace

TextReadResult DocxToPlainText(QByteArrayView bytes, qint64 maxPartBytes) {
    if (!bytes.startsWith("PK\x03\x04"))
        return Fail(FailureCode::NotWordDocument,
                    QStringLiteral("not a Word document (no zip container as in .docx)"));
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source =
        zip_source_buffer_create(bytes.data(), static_cast<zip_uint64_t>(bytes.size()), 0, &error);
    zip_t* opened = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!opened) {
        zip_source_free(source);
        const QString reason = ZipReason(&error);
        zip_error_fini(&error);
        return Fail(FailureCode::Damaged, QStringLiteral("the zip container is damaged: %1").arg(reason));
    }
    zip_error_fini(&error);
    const std::unique_ptr<zip_t, ArchiveDiscarder> archive(opened);

    // Word always names the part word/document.xml; other writers may choose another name.
    QString part = RelatedMainPart(archive.get()).value_or(QString::fromLatin1(kDefaultMainPart));
    zip_int64_t index = zip_name_locate(archive.get(), part.toUtf8().constData(), ZIP_FL_NOCASE);
    if (index < 0) {
        part = QString::fromLatin1(kDefaultMainPart);
        index = zip_name_locate(archive.get(), kDefaultMainPart, ZIP_FL_NOCASE);
    }
    if (index < 0)
        return Fail(FailureCode::NotWordDocument,
                    QStringLiteral("not a Word document (the zip container holds no %1)")
                        .arg(QLatin1StringView(kDefaultMainPart)));

    const Result<QByteArray> xml = ReadEntry(archive.get(), index, part, maxPartBytes);
    if (!xml.ok()) return xml.failure();
    const TextReadResult text = WordprocessingMlToPlainText(xml.value());
    if (!text.ok()) return Fail(text.failure().code, part + QStringLiteral(": ") + text.failure().detail);
    return text;
}

}  // namespace ostrelle
