// The settings file reader: any bytes parse, write back unchanged, and take a value that reads back.
#include "core/formats/settings_file.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>

using ostrelle::IniDocument;

namespace {

struct Name {
    const char* section;
    const char* key;
};
// The names the program reads and writes, and one in another case, which must match the same lines.
constexpr Name kNames[] = {{"Fist", "run"}, {"comb", "0"}, {"Mp3PrePath", "Path"}, {"FIST", "RUN"}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    IniDocument doc = IniDocument::Parse(bytes);
    FUZZ_CHECK(doc.Serialize() == bytes);
    for (const Name& name : kNames)
        (void)doc.Value(QString::fromLatin1(name.section), QString::fromLatin1(name.key));

    // The value comes from the input's last bytes; the choice of name from its first.
    if (size == 0) return 0;
    const Name& name = kNames[data[0] % std::size(kNames)];
    const QString section = QString::fromLatin1(name.section);
    const QString key = QString::fromLatin1(name.key);
    const QString value = QString::fromUtf8(bytes.right(std::min<qsizetype>(bytes.size() - 1, 24)));
    doc.SetValue(section, key, value);
    FUZZ_CHECK(doc.Value(section, key) == value);

    // Written and read again, as WriteIniValue does, the value survives when it is one line.
    if (value.contains(u'\r') || value.contains(u'\n')) return 0;
    doc.MakeUnambiguous();
    const IniDocument again = IniDocument::Parse(doc.Serialize());
    FUZZ_CHECK(again.Value(section, key) == value);
    return 0;
}
