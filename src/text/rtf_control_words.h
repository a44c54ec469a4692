#pragma once

#include <string_view>
#include <unordered_map>

namespace ostrelle {

// What the RTF reader does for a control word.
enum class RtfAction : unsigned char {
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
    LowAnsiRun,           // \loch
    HighAnsiRun,          // \hich
    DoubleByteRun,        // \dbch
    AssociatedFont,       // \af: the font of the run kind named last
    Direction,            // \rtlch, \ltrch: an \af after them is a right-to-left script's font
    Hidden,               // \v
    NestedRowProperties,  // \nesttableprops
};

struct RtfWord {
    RtfAction action = RtfAction::Ignore;
    char16_t character = 0;  // what an RtfAction::Character word stands for
};

// The control words the RTF reader acts on, by name; any other is ignored.
const std::unordered_map<std::string_view, RtfWord>& RtfControlWords();

}  // namespace ostrelle
