#include "text/wordprocessing_ml.h"

#include "text/field_nesting.h"

#include <QXmlStreamReader>

#include <vector>

namespace ostrelle {
namespace {

constexpr QStringView kWordMain = u"http://schemas.openxmlformats.org/wordprocessingml/2006/main";
constexpr QStringView kWordStrict = u"http://purl.oclc.org/ooxml/wordprocessingml/main";
constexpr QStringView kCompatibility = u"http://schemas.openxmlformats.org/markup-compatibility/2006";
constexpr QLatin1StringView kXmlNamespace("http://www.w3.org/XML/1998/namespace");

Failure Fail(FailureCode code, const QString& detail) {
    return {code, detail};
}

bool IsWordNamespace(QStringView uri) {
    return uri == kWordMain || uri == kWordStrict;
}

// The value of a w: attribute of the current element, empty when it has none.
QString WordAttribute(const QXmlStreamReader& xml, QStringView name) {
    const QXmlStreamAttributes attributes = xml.attributes();
    for (const QXmlStreamAttribute& attribute : attributes)
        if (attribute.name() == name && IsWordNamespace(attribute.namespaceUri()))
            return attribute.value().toString();
    return {};
}

// A toggle property such as w:vanish is on when present, unless its w:val turns it off.
bool ToggleIsOn(const QXmlStreamReader& xml) {
    const QString value = WordAttribute(xml, u"val");
    return value != u"0" && value != u"false" && value != u"off";
}

struct Marks {
    bool deleted = false;  // with tracked changes
    bool hidden = false;
};

// Reads a properties element (w:pPr, w:rPr, w:trPr) to its end. The properties an element had before a
// tracked formatting change (w:rPrChange and the like) are history, not what Word shows.
Marks ReadMarks(QXmlStreamReader& xml) {
    Marks marks;
    for (int depth = 1; depth > 0 && !xml.atEnd();) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
        } else if (token == QXmlStreamReader::StartElement) {
            if (IsWordNamespace(xml.namespaceUri())) {
                const QStringView name = xml.name();
                if (name.endsWith(u"Change")) {
                    xml.skipCurrentElement();
                    continue;
                }
                if (name == u"del" || name == u"moveFrom") marks.deleted = true;
                if (name == u"vanish") marks.hidden = ToggleIsOn(xml);
            }
            ++depth;
        }
    }
    return marks;
}

// Without xml:space="preserve" Word drops the blanks around a run's text and reads line ends as spaces.
QString RunText(QString text, bool preserveSpace) {
    if (!preserveSpace) {
        const auto blank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; };
        qsizetype begin = 0;
        qsizetype end = text.size();
        while (begin < end && blank(text[begin]))
            ++begin;
        while (end > begin && blank(text[end - 1]))
            --end;
        text = text.sliced(begin, end - begin);
    }
    text.replace(u'\n', u' ');
    return text;
}

class BodyReader {
public:
    explicit BodyReader(const QByteArray& bytes) : xml_(bytes) {}

    TextReadResult Read() {
        bool rootSeen = false;
        while (!xml_.atEnd()) {
            switch (xml_.readNext()) {
                case QXmlStreamReader::DTD:
                    // Word never writes one, and its entities could expand a small part without bound.
                    return Fail(FailureCode::Damaged, QStringLiteral("the XML declares a DTD"));
                case QXmlStreamReader::StartElement:
                    if (!rootSeen) {
                        rootSeen = true;
                        if (!IsWordNamespace(xml_.namespaceUri()) || xml_.name() != u"document")
                            return Fail(FailureCode::NotWordDocument,
                                        QStringLiteral("not a Word document (its root element is %1)")
                                            .arg(xml_.qualifiedName()));
                        frames_.push_back({});
                    } else if (!frames_.empty()) {
                        Start();
                    }
                    break;
                case QXmlStreamReader::EndElement:
                    if (!frames_.empty()) End();
                    break;
                default:
                    break;
            }
        }
        if (xml_.hasError())
            return Fail(FailureCode::Damaged,
                        QStringLiteral("the XML is not well-formed: %1 (line %2, column %3)")
                            .arg(xml_.errorString())
                            .arg(xml_.lineNumber())
                            .arg(xml_.columnNumber()));
        return out_;
    }

private:
    enum class Kind { Other, Paragraph, Run, Cell, Row };

    struct Frame {
        Kind kind = Kind::Other;
        bool omitted = false;        // deleted or hidden, with everything inside
        bool preserveSpace = false;  // xml:space="preserve" here or on an ancestor
        bool markShown = true;       // a paragraph whose mark is neither deleted nor hidden
    };

    void Start() {
        Frame& parent = frames_.back();
        Frame frame{Kind::Other, parent.omitted, parent.preserveSpace, true};
        const QXmlStreamAttributes attributes = xml_.attributes();
        const QStringView space = attributes.value(kXmlNamespace, QLatin1StringView("space"));
        if (!space.isEmpty()) frame.preserveSpace = space == u"preserve";
        if (parent.kind == Kind::Run) {
            StartInRun(frame);
            return;
        }
        // An alternative holds the same content again, for programs that do not know the preferred one.
        if (xml_.namespaceUri() == kCompatibility && xml_.name() == u"Fallback") {
            xml_.skipCurrentElement();
            return;
        }
        if (!IsWordNamespace(xml_.namespaceUri())) {
            frames_.push_back(frame);
            return;
        }
        const QStringView name = xml_.name();
        if (name == u"del" || name == u"moveFrom" || name == u"txbxContent" || name == u"rt") {
            xml_.skipCurrentElement();
            return;
        }
        if (name == u"pPr" && parent.kind == Kind::Paragraph) {
            // The paragraph's mark carries its own deletion and hiding: the paragraph then runs on.
            const Marks marks = ReadMarks(xml_);
            parent.markShown = !marks.deleted && !marks.hidden;
            return;
        }
        if (name == u"trPr" && parent.kind == Kind::Row) {
            if (ReadMarks(xml_).deleted) parent.omitted = true;
            return;
        }
        if (name == u"p") frame.kind = Kind::Paragraph;
        if (name == u"r") frame.kind = Kind::Run;
        if (name == u"tc") frame.kind = Kind::Cell;
        if (name == u"tr") frame.kind = Kind::Row;
        frames_.push_back(frame);
    }

    // An element inside a run: its text or one special character. Drawings, objects, note references and
    // the like show nothing, text boxes included.
    void StartInRun(const Frame& frame) {
        Frame& run = frames_.back();
        const QStringView name = xml_.name();
        if (!IsWordNamespace(xml_.namespaceUri())) {
            xml_.skipCurrentElement();
        } else if (name == u"t") {
            const QString text = xml_.readElementText(QXmlStreamReader::SkipChildElements);
            if (Shown()) out_.append(RunText(text, frame.preserveSpace));
        } else if (name == u"rPr") {
            if (ReadMarks(xml_).hidden) run.omitted = true;
        } else if (name == u"ruby") {
            frames_.push_back(frame);  // its base text is read, its reading (w:rt) is not
        } else {
            if (name == u"tab" || name == u"ptab") {
                if (Shown()) out_.append(u'\t');
            } else if (name == u"br" || name == u"cr") {
                if (Shown()) out_.append(u"\r\n");
            } else if (name == u"noBreakHyphen") {
                if (Shown()) out_.append(u'-');
            } else if (name == u"fldChar" && !run.omitted) {
                const QString type = WordAttribute(xml_, u"fldCharType");
                if (type == u"begin") fields_.Begin();
                if (type == u"separate") fields_.Separate();
                if (type == u"end") fields_.End();
            }
            // w:instrText is a field's code and w:delText deleted text: neither is shown.
            xml_.skipCurrentElement();
        }
    }

    void End() {
        const Frame frame = frames_.back();
        frames_.pop_back();
        if (frame.omitted) return;
        switch (frame.kind) {
            case Kind::Paragraph:
                if (!frame.markShown) break;
                out_.append(u"\r\n");
                if (!frames_.empty() && frames_.back().kind == Kind::Cell) {
                    cellParagraphEnd_ = out_.size();
                    cellParagraphDepth_ = frames_.size();
                }
                break;
            case Kind::Cell:
                // The mark of a cell's last paragraph is the cell's mark, as in a .doc.
                if (cellParagraphEnd_ == out_.size() && cellParagraphDepth_ == frames_.size() + 1)
                    out_.chop(2);
                out_.append(u'\t');
                break;
            case Kind::Row:
                if (out_.endsWith(u'\t')) out_.chop(1);  // the tab of the row's last cell
                out_.append(u"\r\n");
                break;
            case Kind::Run:
            case Kind::Other:
                break;
        }
    }

    bool Shown() const { return !frames_.back().omitted && !fields_.InCode(); }

    QXmlStreamReader xml_;
    std::vector<Frame> frames_;
    FieldNesting fields_;
    QString out_;
    // Where the text ended after the last paragraph of a cell, and how many elements were open around it.
    qsizetype cellParagraphEnd_ = -1;
    size_t cellParagraphDepth_ = 0;
};

}  // namespace

TextReadResult WordprocessingMlToPlainText(const QByteArray& xml) {
    return BodyReader(xml).Read();
}

}  // namespace ostrelle
