#include "text/ole_container.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#include <mutex>

namespace ostrelle {

struct OleContainer::Handles {
    GsfInput* source = nullptr;
    GsfInfile* root = nullptr;

    ~Handles() {
        if (root) g_object_unref(root);
        if (source) g_object_unref(source);
    }
};

namespace {

void InitGsfOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        // libgsf describes each fault of a damaged container on stderr; the reader's result says it once.
        g_log_set_handler(
            "libgsf:msole", static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
            [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    });
}

// A child stream reference that is released when it goes out of scope.
class ChildStream {
public:
    ChildStream(GsfInfile* root, const char* name) : input_(gsf_infile_child_by_name(root, name)) {}
    ~ChildStream() {
        if (input_) g_object_unref(input_);
    }
    ChildStream(const ChildStream&) = delete;
    ChildStream& operator=(const ChildStream&) = delete;
    GsfInput* get() const { return input_; }

private:
    GsfInput* input_;
};

quint32 ReadLe32(QByteArrayView bytes, qsizetype at) {
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// True when the directory starts with the root storage and the root has no siblings, as the compound file
// format requires. libgsf reads siblings of a damaged root as entries of no folder and never frees them.
bool RootEntryIsSound(QByteArrayView bytes) {
    constexpr qsizetype kHeaderSize = 512;
    constexpr qsizetype kEntrySize = 128;
    constexpr quint32 kNoStream = 0xFFFFFFFF;
    constexpr unsigned char kRootStorage = 5;
    if (bytes.size() < kHeaderSize) return false;
    const int sectorShift = static_cast<unsigned char>(bytes[0x1E]) | static_cast<unsigned char>(bytes[0x1F])
                                                                          << 8;
    if (sectorShift < 7 || sectorShift > 20) return false;
    const qint64 root = (qint64(ReadLe32(bytes, 0x30)) + 1) << sectorShift;
    if (root + kEntrySize > bytes.size()) return false;
    return static_cast<unsigned char>(bytes[root + 0x42]) == kRootStorage &&
           ReadLe32(bytes, root + 0x44) == kNoStream && ReadLe32(bytes, root + 0x48) == kNoStream;
}

}  // namespace

OleContainer::OleContainer(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
OleContainer::~OleContainer() = default;

bool OleContainer::HasSignature(QByteArrayView bytes) {
    return bytes.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
}

std::unique_ptr<OleContainer> OleContainer::Open(const QByteArray& bytes, QString* reason) {
    if (!RootEntryIsSound(bytes)) {
        if (reason) *reason = QStringLiteral("damaged OLE container: its directory has no sound root entry");
        return nullptr;
    }
    InitGsfOnce();
    auto handles = std::make_unique<Handles>();
    handles->source =
        gsf_input_memory_new(reinterpret_cast<const guint8*>(bytes.constData()), bytes.size(), FALSE);
    if (!handles->source) {
        if (reason) *reason = QStringLiteral("cannot read the OLE container");
        return nullptr;
    }
    GError* error = nullptr;
    handles->root = gsf_infile_msole_new(handles->source, &error);
    if (!handles->root) {
        if (reason) {
            *reason = QStringLiteral("damaged OLE container: %1")
                          .arg(error ? QString::fromUtf8(error->message) : QStringLiteral("unreadable"));
        }
        if (error) g_error_free(error);
        return nullptr;
    }
    if (error) g_error_free(error);
    return std::unique_ptr<OleContainer>(new OleContainer(std::move(handles)));
}

bool OleContainer::HasStream(const char* name) const {
    return ChildStream(handles_->root, name).get() != nullptr;
}

std::optional<QByteArray> OleContainer::Stream(const char* name, qint64 maxBytes) const {
    ChildStream child(handles_->root, name);
    if (!child.get()) return std::nullopt;
    const gsf_off_t size = gsf_input_size(child.get());
    if (size < 0 || size > maxBytes) return std::nullopt;
    QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
    if (size > 0 &&
        !gsf_input_read(child.get(), static_cast<size_t>(size), reinterpret_cast<guint8*>(bytes.data())))
        return std::nullopt;
    return bytes;
}

}  // namespace ostrelle
