#include "text/rtf_reader.h"

#include "text/code_page_decoder.h"
#include "text/rtf_control_words.h"

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
constexpr int kUtf8CodePage = 65001;

// NestedRow: a nested table row's properties, where only its \nestrow counts.
enum class Destination : unsigned char { Text, Skip, FontTable, NestedRow };

enum class RunKind : unsigned char { None, LowAnsi, HighAnsi, DoubleByte };

struct GroupState {
    Destination destination = Destination::Text;
    bool inUnicodeAlternatives = false;
    bool hidden = false;
    RunKind runKind = RunKind::None;
    Destination afterAlternatives = Destination::Text;  // where \ud text goes inside \upr
    int font = -1;
    // Fonts of the run kinds a writer names for the bytes of each range (\loch, \hich, \dbch); -1: \f's.
    int lowAnsiFont = -1;
    int highAnsiFont = -1;
    int doubleByteFont = -1;
    int unicodeSkip = 1;
};

struct FontInfo {
    int charset = -1;
    int codePage = 0;  // \cpgN, which wins over the charset
    QByteArray name;   // its start, enough to know a symbol font
    bool nameDone = false;
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

// Symbol fonts give even ASCII bytes glyphs of their own.
bool IsSymbolFont(int codePage) {
    return codePage == CodePageDecoder::kSymbolFontCodePage ||
           codePage == CodePageDecoder::kWingdingsFontCodePage;
}

bool IsPlainAscii(char c) {
    return c >= 0x20 && c < 0x7F && c != '\\' && c != '{' && c != '}';
}

class RtfReader {
public:
    // rawUtf8: the file began with a UTF-8 byte order mark, so an editor wrote its unescaped 8-bit bytes.
    RtfReader(QByteArrayView rtf, bool rawUtf8) : in_(rtf), rawUtf8_(rawUtf8) {}
    QString Read();

private:
    GroupState& State() { return stack_.back(); }
    bool Emitting() const {
        return deepGroups_ == 0 && stack_.back().destination == Destination::Text && !stack_.back().hidden;
    }
    void OpenGroup();
    bool CloseGroup();
    void ReadControl();
    void ControlWord(std::string_view name, bool hasParameter, int parameter);
    void ControlSymbol(char symbol);
    void HexByte();
    void TextByte(unsigned char byte);
    void AddPendingByte(unsigned char byte) {
        const bool high = byte >= 0x80;
        // Most bytes follow one of their kind under the same fonts: nothing to work out again.
        if (pending_.isEmpty() || high != pendingHigh_ || fontState_ != pendingFontState_)
            ChoosePendingCodePage(high);
        pending_.append(static_cast<char>(byte));
    }
    void ChoosePendingCodePage(bool high);
    void Flush();
    void Emit(QStringView text);
    bool ConsumeFallback();
    void FontNameByte(unsigned char byte);
    void FontStateChanged() { ++fontState_; }
    void UpdateCodePages();
    int CodePageOf(int font) const;
    int AsciiCodePage() {
        UpdateCodePages();
        return asciiCodePage_;
    }
    int HighByteCodePage() {
        UpdateCodePages();
        return highByteCodePage_;
    }
    FontInfo& DefiningFont();

    QByteArrayView in_;
    bool rawUtf8_;
    qsizetype pos_ = 0;
    std::vector<GroupState> stack_;
    int deepGroups_ = 0;     // groups opened past kMaxDepth, skipped whole
    int skipRemaining_ = 0;  // \uN fallback characters still to drop
    bool starPending_ = false;
    int documentCodePage_ = 1252;
    int defaultFont_ = -1;
    int definingFont_ = -1;
    std::unordered_map<int, FontInfo> fonts_;
    // The code pages of ASCII and of 8-bit bytes, worked out again only after fonts or runs change.
    unsigned fontState_ = 1;
    unsigned codePagesState_ = 0;
    int asciiCodePage_ = 1252;
    int highByteCodePage_ = 1252;
    // Bytes of the current code page waiting to be decoded together, so double-byte pairs stay whole.
    QByteArray pending_;
    int pendingCodePage_ = 1252;
    bool pendingHigh_ = false;  // the kind of byte and the fonts the code page was worked out for
    unsigned pendingFontState_ = 0;
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
        } else if (IsPlainAscii(c) && pending_.isEmpty() && skipRemaining_ == 0 && Emitting() &&
                   !IsSymbolFont(AsciiCodePage())) {
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
    FontStateChanged();
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
            char16_t unit = static_cast<char16_t>(parameter < 0 ? parameter + 65536 : parameter);
            // Word writes a symbol font's glyph as U+F0xx, the font's byte plus F000.
            for (const int codePage : {AsciiCodePage(), HighByteCodePage()})
                unit = CodePageDecoder::SymbolCharacter(codePage, unit);
            out_.append(QChar(unit));
        }
        skipRemaining_ = State().unicodeSkip;
        return;
    }
    const auto& words = RtfControlWords();
    const auto found = words.find(name);
    const RtfWord word = found == words.end() ? RtfWord{} : found->second;
    if (starPending_) {
        starPending_ = false;
        if (word.action != RtfAction::UnicodeTwin && word.action != RtfAction::NestedRowProperties) {
            Flush();
            State().destination = Destination::Skip;
            return;
        }
    }
    if (ConsumeFallback()) return;

    GroupState& state = State();
    switch (word.action) {
        case RtfAction::Ignore:
            break;
        case RtfAction::Character:
            if (Emitting()) Emit(QStringView(&word.character, 1));
            break;
        case RtfAction::LineEnd:
            if (Emitting()) Emit(u"\r\n");
            break;
        case RtfAction::Tab:
            if (Emitting()) Emit(u"\t");
            break;
        case RtfAction::RowEnd:
            if (Emitting() ||
                (deepGroups_ == 0 && !state.hidden && state.destination == Destination::NestedRow)) {
                Flush();
                if (out_.endsWith(u'\t')) out_.chop(1);  // the tab of the row's last cell
                out_.append(u"\r\n");
            }
            break;
        case RtfAction::UnicodeSkip:
            if (hasParameter) state.unicodeSkip = std::clamp(parameter, 0, kMaxUnicodeSkip);
            break;
        case RtfAction::Font:
            if (!hasParameter) break;
            FontStateChanged();
            if (state.destination == Destination::FontTable) {
                definingFont_ = parameter;
                fonts_.try_emplace(parameter);
            } else {
                state.font = parameter;
                // Inside a run named by kind, \f is that kind's font.
                if (state.runKind == RunKind::LowAnsi) state.lowAnsiFont = parameter;
                if (state.runKind == RunKind::HighAnsi) state.highAnsiFont = parameter;
                if (state.runKind == RunKind::DoubleByte) state.doubleByteFont = parameter;
            }
            break;
        case RtfAction::DefaultFont:
            if (!hasParameter) break;
            FontStateChanged();
            defaultFont_ = parameter;
            if (state.font < 0) state.font = parameter;
            break;
        case RtfAction::FontCharset:
            if (state.destination == Destination::FontTable && hasParameter) {
                FontStateChanged();
                DefiningFont().charset = parameter;
            }
            break;
        case RtfAction::FontCodePage:
            if (state.destination == Destination::FontTable && hasParameter) {
                FontStateChanged();
                DefiningFont().codePage = parameter;
            }
            break;
        case RtfAction::DocumentCodePage:
            if (hasParameter && parameter > 0) {
                FontStateChanged();
                documentCodePage_ = parameter;
            }
            break;
        case RtfAction::Ansi:
        case RtfAction::Mac:
        case RtfAction::Pc:
        case RtfAction::Pca:
            FontStateChanged();
            documentCodePage_ = word.action == RtfAction::Ansi  ? 1252
                                : word.action == RtfAction::Mac ? 10000
                                : word.action == RtfAction::Pc  ? 437
                                                                : 850;
            break;
        case RtfAction::Plain:
            FontStateChanged();
            state.font = defaultFont_;
            state.lowAnsiFont = state.highAnsiFont = state.doubleByteFont = -1;
            state.runKind = RunKind::None;
            state.hidden = false;
            break;
        case RtfAction::LowAnsiRun:
        case RtfAction::HighAnsiRun:
        case RtfAction::DoubleByteRun:
            FontStateChanged();
            state.runKind = word.action == RtfAction::LowAnsiRun    ? RunKind::LowAnsi
                            : word.action == RtfAction::HighAnsiRun ? RunKind::HighAnsi
                                                                    : RunKind::DoubleByte;
            break;
        case RtfAction::AssociatedFont:
            if (!hasParameter) break;
            FontStateChanged();
            if (state.runKind == RunKind::LowAnsi) state.lowAnsiFont = parameter;
            if (state.runKind == RunKind::HighAnsi) state.highAnsiFont = parameter;
            if (state.runKind == RunKind::DoubleByte) state.doubleByteFont = parameter;
            break;
        case RtfAction::Direction:
            FontStateChanged();
            state.runKind = RunKind::None;
            break;
        case RtfAction::NestedRowProperties:
            if (state.destination == Destination::Text) state.destination = Destination::NestedRow;
            break;
        case RtfAction::Hidden:
            state.hidden = !hasParameter || parameter != 0;
            break;
        case RtfAction::SkipDestination:
            Flush();
            state.destination = Destination::Skip;
            break;
        case RtfAction::FontTable:
            Flush();
            state.destination = Destination::FontTable;
            break;
        case RtfAction::UnicodeAlternatives:
            Flush();
            state.inUnicodeAlternatives = true;
            state.afterAlternatives = state.destination;
            state.destination = Destination::Skip;
            break;
        case RtfAction::UnicodeTwin:
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
    if (byte == 0 || deepGroups_ > 0 || ConsumeFallback()) return;
    if (State().destination == Destination::FontTable) {
        FontNameByte(byte);
        return;
    }
    if (!Emitting()) return;
    if (rawUtf8_ && byte >= 0x80) {
        if (pendingCodePage_ != kUtf8CodePage) Flush();
        pendingCodePage_ = kUtf8CodePage;
        pendingFontState_ = 0;  // the next escaped byte works out its own code page
        pending_.append(static_cast<char>(byte));
        return;
    }
    if (byte < 0x80 && pending_.isEmpty() && !IsSymbolFont(AsciiCodePage())) {
        out_.append(QLatin1Char(static_cast<char>(byte)));
        return;
    }
    // Inside a run of 8-bit bytes an ASCII byte may be the second half of a double-byte character.
    AddPendingByte(byte);
}

void RtfReader::ChoosePendingCodePage(bool high) {
    // After a lead byte an ASCII byte may be the second half of its character: it stays in that code page.
    const bool trail = !high && !pending_.isEmpty() && CodePageDecoder::IsMultiByte(pendingCodePage_);
    if (!trail) {
        const int codePage = high ? HighByteCodePage() : AsciiCodePage();
        if (codePage != pendingCodePage_) Flush();
        pendingCodePage_ = codePage;
    }
    pendingHigh_ = high;
    pendingFontState_ = fontState_;
}

void RtfReader::FontNameByte(unsigned char byte) {
    FontInfo& font = DefiningFont();
    if (byte == ';') {
        font.nameDone = true;
    } else if (!font.nameDone && font.name.size() < kMaxWordLetters) {
        font.name.append(static_cast<char>(byte));
        FontStateChanged();
    }
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

int RtfReader::CodePageOf(int font) const {
    const auto found = fonts_.find(font);
    if (found == fonts_.end()) return documentCodePage_;
    const FontInfo& info = found->second;
    if (info.codePage > 0) return info.codePage;
    if (info.charset < 0) return documentCodePage_;
    const int codePage = CodePageDecoder::CodePageForCharset(info.charset, documentCodePage_);
    if (codePage != CodePageDecoder::kSymbolFontCodePage) return codePage;
    // Symbol fonts differ: the two Word's lists use are known, any other keeps its bytes visible.
    const QByteArray name = info.name.trimmed().toLower();
    if (name.isEmpty() || name == "symbol") return CodePageDecoder::kSymbolFontCodePage;
    if (name == "wingdings") return CodePageDecoder::kWingdingsFontCodePage;
    return 1252;
}

// ASCII is in the low-ANSI run's font. An 8-bit byte is in the high-ANSI run's font inside such a run, else
// in the double-byte run's font when that font has double-byte characters (Word names Chinese so under a
// Western \f), else in \f's.
void RtfReader::UpdateCodePages() {
    if (codePagesState_ == fontState_) return;
    codePagesState_ = fontState_;
    const GroupState& state = State();
    asciiCodePage_ = CodePageOf(state.lowAnsiFont >= 0 ? state.lowAnsiFont : state.font);
    highByteCodePage_ = CodePageOf(state.font);
    if (state.runKind == RunKind::HighAnsi) {
        if (state.highAnsiFont >= 0) highByteCodePage_ = CodePageOf(state.highAnsiFont);
    } else if (state.doubleByteFont >= 0) {
        const int doubleByte = CodePageOf(state.doubleByteFont);
        if (state.runKind == RunKind::DoubleByte || CodePageDecoder::IsMultiByte(doubleByte))
            highByteCodePage_ = doubleByte;
    }
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
    const qsizetype start = std::max<qsizetype>(RtfStart(rtf), 0);
    return RtfReader(rtf.sliced(start), start >= 3 && rtf.startsWith("\xEF\xBB\xBF")).Read();
}

}  // namespace ostrelle
