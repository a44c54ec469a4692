#include "text/rtf_control_words.h"

#include <algorithm>
#include <utility>

namespace ostrelle {
namespace {

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
    "blipuid picprop fontemb fontfile panose falt nonesttables";

}  // namespace

const std::unordered_map<std::string_view, RtfWord>& RtfControlWords() {
    static const std::unordered_map<std::string_view, RtfWord> words = [] {
        std::unordered_map<std::string_view, RtfWord> map;
        for (std::string_view word : {"par", "line", "sect", "page", "column"})
            map[word] = {RtfAction::LineEnd};
        for (std::string_view word : {"tab", "cell", "nestcell"})
            map[word] = {RtfAction::Tab};
        for (std::string_view word : {"row", "nestrow"})
            map[word] = {RtfAction::RowEnd};
        const std::pair<std::string_view, char16_t> characters[] = {
            {"emdash", u'\u2014'},    {"endash", u'\u2013'},  {"emspace", u'\u2003'},
            {"enspace", u'\u2002'},   {"qmspace", u'\u2005'}, {"bullet", u'\u2022'},
            {"lquote", u'\u2018'},    {"rquote", u'\u2019'},  {"ldblquote", u'\u201C'},
            {"rdblquote", u'\u201D'}, {"zwj", u'\u200D'},     {"zwnj", u'\u200C'},
            {"ltrmark", u'\u200E'},   {"rtlmark", u'\u200F'}, {"zwbo", u'\u200B'},
        };
        for (const auto& [word, character] : characters)
            map[word] = {RtfAction::Character, character};
        for (std::string_view rest = kSkippedDestinations; !rest.empty();) {
            const size_t blank = std::min(rest.find(' '), rest.size());
            map[rest.substr(0, blank)] = {RtfAction::SkipDestination};
            rest.remove_prefix(std::min(blank + 1, rest.size()));
        }
        map["fonttbl"] = {RtfAction::FontTable};
        map["uc"] = {RtfAction::UnicodeSkip};
        map["f"] = {RtfAction::Font};
        map["deff"] = {RtfAction::DefaultFont};
        map["fcharset"] = {RtfAction::FontCharset};
        map["cpg"] = {RtfAction::FontCodePage};
        map["ansicpg"] = {RtfAction::DocumentCodePage};
        map["ansi"] = {RtfAction::Ansi};
        map["mac"] = {RtfAction::Mac};
        map["pc"] = {RtfAction::Pc};
        map["pca"] = {RtfAction::Pca};
        map["plain"] = {RtfAction::Plain};
        map["upr"] = {RtfAction::UnicodeAlternatives};
        map["ud"] = {RtfAction::UnicodeTwin};
        map["loch"] = {RtfAction::LowAnsiRun};
        map["hich"] = {RtfAction::HighAnsiRun};
        map["dbch"] = {RtfAction::DoubleByteRun};
        map["af"] = {RtfAction::AssociatedFont};
        map["rtlch"] = {RtfAction::Direction};
        map["ltrch"] = {RtfAction::Direction};
        map["v"] = {RtfAction::Hidden};
        map["nesttableprops"] = {RtfAction::NestedRowProperties};
        return map;
    }();
    return words;
}

}  // namespace ostrelle
