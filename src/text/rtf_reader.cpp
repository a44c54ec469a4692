#include "text/rtf_reader.h"

#include "text/code_page_decoder.h"

#include <QLatin1StringView>

#include <algorithm>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ostrelle {
namespace {

// Deeper groups are skipped: real documents nest a few dozen levels at most.
constexpr int kMaxDepth = 1000;
constexpr int kMaxUnicodeSkip = 16;
constexpr int kMaxWordLetters = 32;

enum class Destination : unsigned char { Text, Skip, FontTable };

enum class Action : unsigned char {
    Ignore,
    Character,
    LineEnd,
    Tab,
    RowEnd,
    UnicodeSkip,
    Font,
    DefaultFont,
    FontCharset,
    FontCodePage,
    DocumentCodePage,
    Ansi,
    Mac,
    Pc,
    Pca,
    Plain,
    SkipDestination,
    FontTable,
    UnicodeAlternatives,  // \upr: an 8-bit text followed by its \ud Unicode twin
    UnicodeTwin,          // \ud
};

struct WordAction {
    Action action = Action::Ignore;
    char16_t character = 0;
};

// Destinations the pane does not show: tables of the document, metadata, pictures and objects, page
// furniture, notes, field instructions, index and bookmark entries, shapes; separated by blanks.
constexpr std::string_view kSkippedDestinations =
    "colortbl stylesheet info pict object objdata themedata colorschememapping datastore "
    "latentstyles header headerl headerr headerf footer footerl footerr footerf footnote annotation "
    "atnid atnauthor fldinst xe tc tcn txe rxe bkmkstart bkmkend listtable listoverridetable revtbl "
    "rsidtbl generator filetbl pgdsctbl template docvar userprops nonshppict shpinst shptxt sp sn "
    "sv private mmathPr xmlnstbl pn pntxta pntxtb ftnsep ftnsepc ftncn aftnsep aftnsepc aftncn do "
    "comment author title subject operator keywords doccomm company manager category hlinkbase "
    "creatim revtim printim buptim passwordhash protusertbl wgrffmtfilter htmltag fchars lchars "
    "blipuid picprop fontemb fontfile panose falt";

const std::unordered_map<std::string_view, WordAction>& ControlWords() {
    static const std::unordered_map<std::string_view, WordAction> words = [] {
        std::unordered_map<std::string_view, WordAction> map;
        for (std::string_view word : {"par", "line", "sect", "page", "column"})
            map[word] = {Action::LineEnd};
        for (std::string_view word : {"tab", "cell", "nestcell"})
            map[word] = {Action::Tab};
        for (std::string_view word : {"row", "nestrow"})
            map[word] = {Action::RowEnd};
        const std::pair<std::string_view, char16_t> characters[] = {
            {"emdash", u'\u2014'},    {"endash", u'\u2013'},  {"emspace", u'\u2003'},
            {"enspace", u'\u2002'},   {"qmspace", u'\u2005'}, {"bullet", u'\u2022'},
            {"lquote", u'\u2018'},    {"rquote", u'\u2019'},  {"ldblquote", u'\u201C'},
            {"rdblquote", u'\u201D'}, {"zwj", u'\u200D'},     {"zwnj", u'\u200C'},
            {"ltrmark", u'\u200E'},   {"rtlmark", u'\u200F'}, {"zwbo", u'\u200B'},
        };
        for (const auto& [word, character] : characters)
            map[word] = {Action::Character, character};
        for (std::string_view rest = kSkippedDestinations; !rest.empty();) {
            const size_t blank = std::min(rest.find(' '), rest.size());
            map[rest.substr(0, blank)] = {Action::SkipDestination};
            rest.remove_prefix(std::min(blank + 1, rest.size()));
        }
        map["fonttbl"] = {Action::FontTable};
        map["uc"] = {Action::UnicodeSkip};
        map["f"] = {Action::Font};
        map["deff"] = {Action::DefaultFont};
        map["fcharset"] = {Action::FontCharset};
        map["cpg"] = {Action::FontCodePage};
        map["ansicpg"] = {Action::DocumentCodePage};
        map["ansi"] = {Action::Ansi};
        map["mac"] = {Action::Mac};
        map["pc"] = {Action::Pc};
        map["pca"] = {Action::Pca};
        map["plain"] = {Action::Plain};
        map["upr"] = {Action::UnicodeAlternatives};
        map["ud"] = {Action::UnicodeTwin};
        return map;
    }();
    return words;
}

struct GroupState {
    Destination destination = Destination::Text;
    bool inUnicodeAlternatives = false;
    Destination afterAlternatives = Destination::Text;  // where \ud text goes inside \upr
    int font = -1;
    int unicodeSkip = 1;
};

struct FontInfo {
    int charset = -1;
    int codePage = 0;  // \cpgN, which wins over the charset
};

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsPlainAscii(char c) {
    return c >= 0x20 && c < 0x7F && c != '\\' && c != '{' && c != '}';
}

class RtfReader {
public:
    explicit RtfReader(QByteArrayView rtf) : in_(rtf) {}
    QString Read();

private:
    GroupState& State() { return stack_.back(); }
    bool Emitting() const { return deepGroups_ == 0 && stack_.back().destination == Destination::Text; }
    void OpenGroup();
    bool CloseGroup();
    void ReadControl();
    void ControlWord(std::string_view name, bool hasParameter, int parameter);
    void ControlSymbol(char symbol);
    void HexByte();
    void TextByte(unsigned char byte);
    void AddPendingByte(unsigned char byte);
    void Flush();
    void Emit(QStringView text);
    bool ConsumeFallback();
    int CodePage();
    FontInfo& DefiningFont();

    QByteArrayView in_;
    qsizetype pos_ = 0;
    std::vector<GroupState> stack_;
    int deepGroups_ = 0;     // groups opened past kMaxDepth, skipped whole
    int skipRemaining_ = 0;  // \uN fallback characters still to drop
    bool starPending_ = false;
    int documentCodePage_ = 1252;
    int defaultFont_ = -1;
    int definingFont_ = -1;
    std::unordered_map<int, FontInfo> fonts_;
    // The code page of the last font looked up, until a font or code page definition changes.
    int cachedFont_ = std::numeric_limits<int>::min();
    int cachedCodePage_ = 1252;
    // Bytes of the current code page waiting to be decoded together, so double-byte pairs stay whole.
    QByteArray pending_;
    int pendingCodePage_ = 1252;
    QString out_;
    CodePageDecoder decoder_;
};

QString RtfReader::Read() {
    stack_.reserve(64);
    stack_.push_back(GroupState{});
    out_.reserve(in_.size() / 4);
    const qsizetype size = in_.size();
    while (pos_ < size) {
        const char c = in_[pos_];
        if (c == '{') {
            ++pos_;
            OpenGroup();
        } else if (c == '}') {
            ++pos_;
            if (!CloseGroup()) break;
        } else if (c == '\\') {
            ++pos_;
            ReadControl();
        } else if (c == '\r' || c == '\n') {
            ++pos_;
        } else if (IsPlainAscii(c) && pending_.isEmpty() && skipRemaining_ == 0 && Emitting()) {
            const qsizetype start = pos_;
            while (pos_ < size && IsPlainAscii(in_[pos_]))
                ++pos_;
            out_.append(QLatin1StringView(in_.data() + start, pos_ - start));
        } else {
            ++pos_;
            if (c == '\t') {
                if (!ConsumeFallback() && Emitting()) Emit(u"\t");
            } else {
                TextByte(static_cast<unsigned char>(c));
            }
        }
    }
    Flush();
    return std::move(out_);
}

void RtfReader::OpenGroup() {
    Flush();
    skipRemaining_ = 0;
    starPending_ = false;
    if (deepGroups_ > 0 || static_cast<int>(stack_.size()) > kMaxDepth) {
        ++deepGroups_;
        return;
    }
    const GroupState inherited = stack_.back();
    stack_.push_back(inherited);
}

// False when the document's outer group closes: what follows is not part of it.
bool RtfReader::CloseGroup() {
    Flush();
    skipRemaining_ = 0;
    starPending_ = false;
    if (deepGroups_ > 0) {
        --deepGroups_;
        return true;
    }
    if (stack_.size() <= 1) return false;
    stack_.pop_back();
    return stack_.size() > 1;
}

void RtfReader::ReadControl() {
    const qsizetype size = in_.size();
    if (pos_ >= size) return;
    if (!IsLetter(in_[pos_])) {
        ControlSymbol(in_[pos_++]);
        return;
    }
    const qsizetype start = pos_;
    while (pos_ < size && IsLetter(in_[pos_]))
        ++pos_;
    const std::string_view name(in_.data() + start, static_cast<size_t>(pos_ - start));
    bool hasParameter = false;
    bool negative = false;
    long long value = 0;
    if (pos_ < size && in_[pos_] == '-') {
        negative = true;
        ++pos_;
    }
    while (pos_ < size && in_[pos_] >= '0' && in_[pos_] <= '9') {
        if (value < 100'000'000'000LL) value = value * 10 + (in_[pos_] - '0');
        hasParameter = true;
        ++pos_;
    }
    if (pos_ < size && in_[pos_] == ' ') ++pos_;
    value = std::clamp(negative ? -value : value, static_cast<long long>(std::numeric_limits<int>::min()),
                       static_cast<long long>(std::numeric_limits<int>::max()));
    if (name.size() > kMaxWordLetters) return;
    ControlWord(name, hasParameter, static_cast<int>(value));
}

// True when this character is one of a \uN's fallback characters and so is dropped.
bool RtfReader::ConsumeFallback() {
    if (skipRemaining_ == 0) return false;
    --skipRemaining_;
    return true;
}

void RtfReader::ControlWord(std::string_view name, bool hasParameter, int parameter) {
    if (name == "bin") {
        // Raw bytes follow; they may hold braces and backslashes, so they are skipped even in skipped groups.
        Flush();
        if (hasParameter && parameter > 0) pos_ = std::min(in_.size(), pos_ + parameter);
        return;
    }
    if (deepGroups_ > 0) return;
    if (name == "u" && hasParameter) {
        const bool fallback = ConsumeFallback();
        starPending_ = false;
        if (fallback) return;
        if (Emitting()) {
            Flush();
            // A signed 16-bit value; surrogate pairs arrive as two \u in a row and join in the QString.
            const char16_t unit = static_cast<char16_t>(parameter < 0 ? parameter + 65536 : parameter);
            out_.append(QChar(unit));
        }
        skipRemaining_ = State().unicodeSkip;
        return;
    }
    const auto& words = ControlWords();
    const auto found = words.find(name);
    const WordAction word = found == words.end() ? WordAction{} : found->second;
    if (starPending_) {
        starPending_ = false;
        if (word.action != Action::UnicodeTwin) {
            Flush();
            State().destination = Destination::Skip;
            return;
        }
    }
    if (ConsumeFallback()) return;

    GroupState& state = State();
    switch (word.action) {
        case Action::Ignore:
            break;
        case Action::Character:
            if (Emitting()) Emit(QStringView(&word.character, 1));
            break;
        case Action::LineEnd:
            if (Emitting()) Emit(u"\r\n");
            break;
        case Action::Tab:
            if (Emitting()) Emit(u"\t");
            break;
        case Action::RowEnd:
            if (Emitting()) {
                Flush();
                if (out_.endsWith(u'\t')) out_.chop(1);  // the tab of the row's last cell
                out_.append(u"\r\n");
            }
            break;
        case Action::UnicodeSkip:
            if (hasParameter) state.unicodeSkip = std::clamp(parameter, 0, kMaxUnicodeSkip);
            break;
        case Action::Font:
            if (!hasParameter) break;
            if (state.destination == Destination::FontTable) {
                definingFont_ = parameter;
                fonts_.try_emplace(parameter);
                cachedFont_ = std::numeric_limits<int>::min();
            } else {
                Flush();
                state.font = parameter;
            }
            break;
        case Action::DefaultFont:
            if (!hasParameter) break;
            defaultFont_ = parameter;
            if (state.font < 0) state.font = parameter;
            break;
        case Action::FontCharset:
            if (state.destination == Destination::FontTable && hasParameter) {
                DefiningFont().charset = parameter;
                cachedFont_ = std::numeric_limits<int>::min();
            }
            break;
        case Action::FontCodePage:
            if (state.destination == Destination::FontTable && hasParameter) {
                DefiningFont().codePage = parameter;
                cachedFont_ = std::numeric_limits<int>::min();
            }
            break;
        case Action::DocumentCodePage:
            if (hasParameter && parameter > 0) {
                Flush();
                documentCodePage_ = parameter;
                cachedFont_ = std::numeric_limits<int>::min();
            }
            break;
        case Action::Ansi:
        case Action::Mac:
        case Action::Pc:
        case Action::Pca:
            Flush();
            documentCodePage_ = word.action == Action::Ansi  ? 1252
                                : word.action == Action::Mac ? 10000
                                : word.action == Action::Pc  ? 437
                                                             : 850;
            cachedFont_ = std::numeric_limits<int>::min();
            break;
        case Action::Plain:
            Flush();
            state.font = defaultFont_;
            break;
        case Action::SkipDestination:
            Flush();
            state.destination = Destination::Skip;
            break;
        case Action::FontTable:
            Flush();
            state.destination = Destination::FontTable;
            break;
        case Action::UnicodeAlternatives:
            Flush();
            state.inUnicodeAlternatives = true;
            state.afterAlternatives = state.destination;
            state.destination = Destination::Skip;
            break;
        case Action::UnicodeTwin:
            if (state.inUnicodeAlternatives) state.destination = state.afterAlternatives;
            break;
    }
}

void RtfReader::ControlSymbol(char symbol) {
    switch (symbol) {
        case '\'':
            HexByte();
            return;
        case '\\':
        case '{':
        case '}':
            TextByte(static_cast<unsigned char>(symbol));
            return;
        case '*':
            starPending_ = true;
            return;
        default:
            break;
    }
    if (deepGroups_ > 0 || ConsumeFallback() || !Emitting()) return;
    switch (symbol) {
        case '~':
            Emit(u"\u00A0");
            break;
        case '_':
            Emit(u"-");  // non-breaking hyphen, shown as a hyphen like the Word reader does
            break;
        case '\r':
        case '\n':
            Emit(u"\r\n");  // a backslash before a line end is \par
            break;
        case '\t':
            Emit(u"\t");
            break;
        default:
            break;  // \- optional hyphen, \: index subentry, \| formula: nothing to show
    }
}

void RtfReader::HexByte() {
    int value = 0;
    for (int digit = 0; digit < 2; ++digit) {
        const int hex = pos_ < in_.size() ? HexValue(in_[pos_]) : -1;
        if (hex < 0) return;
        value = value * 16 + hex;
        ++pos_;
    }
    if (deepGroups_ > 0 || ConsumeFallback() || !Emitting()) return;
    AddPendingByte(static_cast<unsigned char>(value));
}

void RtfReader::TextByte(unsigned char byte) {
    if (byte == 0 || deepGroups_ > 0 || ConsumeFallback() || !Emitting()) return;
    if (byte < 0x80 && pending_.isEmpty()) {
        out_.append(QLatin1Char(static_cast<char>(byte)));
        return;
    }
    // Inside a run of 8-bit bytes an ASCII byte may be the second half of a double-byte character.
    AddPendingByte(byte);
}

void RtfReader::AddPendingByte(unsigned char byte) {
    if (pending_.isEmpty()) pendingCodePage_ = CodePage();
    pending_.append(static_cast<char>(byte));
}

void RtfReader::Flush() {
    if (pending_.isEmpty()) return;
    decoder_.Append(pendingCodePage_, pending_, out_);
    pending_.resize(0);  // keeps the capacity, unlike clear()
}

void RtfReader::Emit(QStringView text) {
    Flush();
    out_.append(text);
}

FontInfo& RtfReader::DefiningFont() {
    return fonts_[definingFont_];
}

int RtfReader::CodePage() {
    const int font = State().font;
    if (font == cachedFont_) return cachedCodePage_;
    int codePage = documentCodePage_;
    const auto found = fonts_.find(font);
    if (found != fonts_.end()) {
        if (found->second.codePage > 0) {
            codePage = found->second.codePage;
        } else if (found->second.charset >= 0) {
            codePage = CodePageDecoder::CodePageForCharset(found->second.charset, documentCodePage_);
        }
    }
    cachedFont_ = font;
    cachedCodePage_ = codePage;
    return codePage;
}

// Where "{\rtf" begins after a UTF-8 byte order mark and blank lines, which editors put there and a rich
// text box passes over; -1 when the bytes do not begin so.
qsizetype RtfStart(QByteArrayView bytes) {
    qsizetype at = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (at < bytes.size() &&
           (bytes[at] == ' ' || bytes[at] == '\t' || bytes[at] == '\r' || bytes[at] == '\n'))
        ++at;
    return bytes.sliced(at).startsWith("{\\rtf") ? at : -1;
}

}  // namespace

bool LooksLikeRtf(QByteArrayView bytes) {
    return RtfStart(bytes) >= 0;
}

QString RtfToPlainText(QByteArrayView rtf) {
    return RtfReader(rtf.sliced(std::max<qsizetype>(RtfStart(rtf), 0))).Read();
}

}  // namespace ostrelle
