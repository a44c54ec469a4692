#include "docx_builder.h"

#include <zip.h>

#include <cstdio>
#include <stdexcept>

namespace ostrelle::testing {

QByteArray BuildZip(const std::vector<ZipEntry>& entries) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* sink = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!sink) throw std::runtime_error("cannot make a zip buffer");
    // Kept past zip_close, which writes the archive into it.
    zip_source_keep(sink);
    zip_t* archive = zip_open_from_source(sink, ZIP_TRUNCATE, &error);
    if (!archive) throw std::runtime_error("cannot start a zip");
    for (const ZipEntry& entry : entries) {
        zip_source_t* data = zip_source_buffer(archive, entry.bytes.constData(),
                                               static_cast<zip_uint64_t>(entry.bytes.size()), 0);
        const zip_int64_t index =
            data ? zip_file_add(archive, entry.name.toUtf8().constData(), data, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) throw std::runtime_error("cannot add a zip entry");
        if (entry.encrypted && zip_file_set_encryption(archive, static_cast<zip_uint64_t>(index),
                                                       ZIP_EM_AES_256, "password") != 0)
            throw std::runtime_error("cannot encrypt a zip entry");
    }
    if (zip_close(archive) != 0) throw std::runtime_error("cannot write the zip");

    QByteArray bytes;
    if (zip_source_open(sink) != 0 || zip_source_seek(sink, 0, SEEK_END) != 0)
        throw std::runtime_error("cannot read the zip back");
    bytes.resize(static_cast<qsizetype>(zip_source_tell(sink)));
    zip_source_seek(sink, 0, SEEK_SET);
    if (zip_source_read(sink, bytes.data(), static_cast<zip_uint64_t>(bytes.size())) != bytes.size())
        throw std::runtime_error("cannot read the zip back");
    zip_source_close(sink);
    zip_source_free(sink);
    zip_error_fini(&error);
    return bytes;
}

QByteArray DocumentXml(const QString& body) {
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
               "<w:document"
               " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""
               " xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\""
               " xmlns:w14=\"http://schemas.microsoft.com/office/word/2010/wordml\""
               " xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\""
               " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\""
               " xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\""
               " xmlns:v=\"urn:schemas-microsoft-com:vml\" mc:Ignorable=\"w14\">"
               "<w:body>%1<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/></w:sectPr></w:body></w:document>")
        .arg(body)
        .toUtf8();
}

QByteArray BuildDocx(const QString& body, const QString& partName) {
    const QByteArray contentTypes =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" "
        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/" +
        partName.toUtf8() +
        "\" ContentType=\"application/"
        "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>";
    const QByteArray relationships =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/"
        "metadata/core-properties\" Target=\"docProps/core.xml\"/>"
        "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships/officeDocument\" Target=\"" +
        partName.toUtf8() + "\"/></Relationships>";
    return BuildZip({{QStringLiteral("[Content_Types].xml"), contentTypes},
                     {QStringLiteral("_rels/.rels"), relationships},
                     {partName, DocumentXml(body)}});
}

}  // namespace ostrelle::testing
