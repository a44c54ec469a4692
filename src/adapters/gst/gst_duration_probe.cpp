#include "adapters/gst/gst_duration_probe.h"

#include "adapters/gst/adts_frame_scanner.h"
#include "adapters/gst/gst_support.h"
#include "adapters/gst/mp3_frame_scanner.h"

#include <QFile>

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>

namespace ostrelle {

namespace {

Failure ProbeFailure(FailureCode code, const QString& detail) {
    return {code, detail};
}

Failure OpenFailure(int error) {
    if (error == ENOENT || error == ENOTDIR)
        return ProbeFailure(FailureCode::Missing, QStringLiteral("no such file"));
    return ProbeFailure(FailureCode::CannotRead, QString::fromLocal8Bit(std::strerror(error)));
}

Result<void> CheckType(const struct stat& info) {
    if (S_ISDIR(info.st_mode)) return ProbeFailure(FailureCode::NotAFile, QStringLiteral("is a folder"));
    if (!S_ISREG(info.st_mode))
        return ProbeFailure(FailureCode::NotAFile,
                            QStringLiteral("is not a regular file (pipe, device or socket)"));
    if (info.st_size == 0) return ProbeFailure(FailureCode::Empty, QStringLiteral("is empty"));
    return {};
}

// Bytes read from a file; not zeroed first, since they are overwritten at once.
class ByteBuffer {
public:
    void Allocate(std::size_t count) {
        data_ = std::make_unique_for_overwrite<std::uint8_t[]>(count);
        size_ = count;
    }
    void Truncate(std::size_t count) { size_ = std::min(size_, count); }
    std::uint8_t* Data() { return data_.get(); }
    std::span<const std::uint8_t> Bytes() const { return {data_.get(), size_}; }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_ = 0;
};

// A regular file read with read(), never mapped: a file cut short by another program while it is read
// gives fewer bytes, where a mapping would kill the program with SIGBUS.
class ReadOnlyFile {
public:
    ReadOnlyFile() = default;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    ~ReadOnlyFile() {
        if (fd_ >= 0) close(fd_);
    }

    // The type is checked before opening, since opening a pipe waits for a writer and opening a device
    // can act on it; the open does not block and the type is checked again on what was opened.
    Result<void> Open(const QString& path) {
        const QByteArray name = QFile::encodeName(path);
        if (name.isEmpty()) return ProbeFailure(FailureCode::Missing, QStringLiteral("no file name"));
        struct stat info {};
        if (stat(name.constData(), &info) != 0) return OpenFailure(errno);
        if (Result<void> checked = CheckType(info); !checked.ok()) return checked;

        fd_ = open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) return OpenFailure(errno);
        if (fstat(fd_, &info) != 0) return OpenFailure(errno);
        if (Result<void> checked = CheckType(info); !checked.ok()) return checked;
        size_ = static_cast<std::uint64_t>(info.st_size);
        return {};
    }

    // The size when opened; the file may have changed since.
    std::uint64_t Size() const { return size_; }

    // Up to count bytes from offset into bytes, which then holds what was read: fewer at the end of the
    // file, or when it has been cut since it was opened. Read a piece at a time, so that stop is heard.
    Result<void> ReadAt(std::uint64_t offset, std::size_t count, ByteBuffer& bytes,
                        const std::atomic<bool>* stop = nullptr) const {
        constexpr std::size_t kPiece = 8 * 1024 * 1024;
        bytes.Allocate(count);
        std::size_t done = 0;
        while (done < count) {
            if (stop && stop->load(std::memory_order_relaxed))
                return ProbeFailure(FailureCode::TimedOut, QStringLiteral("measuring was cancelled"));
            const ssize_t got = pread(fd_, bytes.Data() + done, std::min(kPiece, count - done),
                                      static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0)
                return ProbeFailure(FailureCode::CannotRead, QString::fromLocal8Bit(std::strerror(errno)));
            if (got == 0) break;
            done += static_cast<std::size_t>(got);
        }
        bytes.Truncate(done);
        return {};
    }

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

// Enough to hold every container's magic below.
constexpr std::size_t kMagicBytes = 16;
// Enough for the tags and magic of nearly every file; larger tags cost one more read.
constexpr std::size_t kHeadBytes = 64 * 1024;

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view magic, std::size_t at = 0) {
    return bytes.size() >= at + magic.size() &&
           std::memcmp(bytes.data() + at, magic.data(), magic.size()) == 0;
}

// Formats whose headers give the length (WAV, Ogg, FLAC, ASF/WMA, MP4/M4A, AIFF, Matroska, ...): these go
// straight to GstDiscoverer rather than being searched for MPEG frames.
bool IsContainerWithLength(std::span<const std::uint8_t> head) {
    constexpr std::string_view kAsf("\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8);
    constexpr std::string_view kEbml("\x1A\x45\xDF\xA3", 4);
    for (const std::string_view magic :
         {std::string_view("RIFF"), std::string_view("RF64"), std::string_view("OggS"),
          std::string_view("fLaC"), std::string_view("FORM"), std::string_view(".snd"),
          std::string_view("MAC "), std::string_view("wvpk"), std::string_view("#!AMR"), kAsf, kEbml}) {
        if (StartsWith(head, magic)) return true;
    }
    return StartsWith(head, "ftyp", 4);
}

}  // namespace

GstDurationProbe::GstDurationProbe(std::chrono::milliseconds timeout) : timeout_(timeout) {}

GstDurationProbe::~GstDurationProbe() {
    if (discoverer_) g_object_unref(discoverer_);
}

ProbeResult GstDurationProbe::Probe(const QString& path) {
    if (cancelled_) return ProbeFailure(FailureCode::TimedOut, QStringLiteral("measuring was cancelled"));
    ReadOnlyFile file;
    if (Result<void> opened = file.Open(path); !opened.ok()) return opened.failure();

    // The head tells a container from MPEG audio; only MPEG audio is read whole.
    ByteBuffer head;
    if (Result<void> read =
            file.ReadAt(0, static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), kHeadBytes)), head);
        !read.ok())
        return read.failure();
    if (head.Bytes().empty()) return ProbeFailure(FailureCode::Empty, QStringLiteral("is empty"));

    const std::size_t contentStart = Id3v2TagsEnd(head.Bytes());
    if (contentStart >= file.Size())
        return ProbeFailure(FailureCode::NotAudio,
                            QStringLiteral("holds no audio: its tag runs past the end of the file"));
    // Tags larger than the head (cover pictures) hide the container's magic further in.
    ByteBuffer afterTags;
    std::span<const std::uint8_t> content = head.Bytes().subspan(std::min(contentStart, head.Bytes().size()));
    if (content.size() < kMagicBytes) {
        if (Result<void> read = file.ReadAt(contentStart, kMagicBytes, afterTags); !read.ok())
            return read.failure();
        content = afterTags.Bytes();
    }
    if (IsContainerWithLength(content)) return Discover(path);

    if (file.Size() > kMaxScannedBytes)
        return ProbeFailure(FailureCode::TooLarge,
                            QStringLiteral("is larger than %1 MiB and gives no length in a header")
                                .arg(kMaxScannedBytes / (1024 * 1024)));
    std::span<const std::uint8_t> bytes = head.Bytes();
    ByteBuffer whole;
    if (file.Size() > bytes.size()) {
        if (Result<void> read = file.ReadAt(0, static_cast<std::size_t>(file.Size()), whole, &cancelled_);
            !read.ok())
            return read.failure();
        bytes = whole.Bytes();
    }
    const std::optional<Mp3FrameCount> frames = CountMp3Frames(bytes, &cancelled_);
    if (frames && frames->audioFrames > 0) return frames->Seconds();
    // Raw AAC has no header with its length either: GstDiscoverer would estimate it from the bit rate.
    const std::optional<AdtsFrameCount> aac = CountAdtsFrames(bytes, &cancelled_);
    if (cancelled_) return ProbeFailure(FailureCode::TimedOut, QStringLiteral("measuring was cancelled"));
    if (aac && aac->frames > 0) return aac->Seconds();
    // Not MPEG audio (or none found): AC-3 and the rest.
    return Discover(path);
}

ProbeResult GstDurationProbe::Discover(const QString& path) {
    if (!discoverer_) {
        if (const Result<void> started = InitGstreamer(); !started.ok())
            return ProbeFailure(FailureCode::NotAudio, started.failure().detail);
        GError* rawError = nullptr;
        discoverer_ =
            gst_discoverer_new(static_cast<GstClockTime>(timeout_.count()) * GST_MSECOND, &rawError);
        const GErrorPtr error(rawError);
        if (!discoverer_)
            return ProbeFailure(
                FailureCode::NotAudio,
                QStringLiteral("GStreamer cannot read files: %1").arg(GstErrorText(error.get())));
    }

    GError* rawError = nullptr;
    gchar* uri = gst_filename_to_uri(QFile::encodeName(path).constData(), &rawError);
    if (!uri) {
        g_clear_error(&rawError);
        return ProbeFailure(FailureCode::Missing, QStringLiteral("no usable file name"));
    }
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer_, uri, &rawError);
    g_free(uri);
    const GErrorPtr error(rawError);

    ProbeResult result = ProbeFailure(FailureCode::NotAudio, QStringLiteral("cannot be read as audio"));
    switch (info ? gst_discoverer_info_get_result(info) : GST_DISCOVERER_ERROR) {
        case GST_DISCOVERER_OK: {
            GList* audio = gst_discoverer_info_get_audio_streams(info);
            const GstClockTime duration = gst_discoverer_info_get_duration(info);
            if (!audio) {
                result = ProbeFailure(FailureCode::NotAudio, QStringLiteral("holds no audio stream"));
            } else if (!GST_CLOCK_TIME_IS_VALID(duration) || duration == 0) {
                result =
                    ProbeFailure(FailureCode::NotAudio, QStringLiteral("does not tell how long it plays"));
            } else {
                result = static_cast<double>(duration) / GST_SECOND;
            }
            gst_discoverer_stream_info_list_free(audio);
            break;
        }
        case GST_DISCOVERER_TIMEOUT:
            result = ProbeFailure(
                FailureCode::TimedOut,
                QStringLiteral("was not read within %1 ms").arg(static_cast<qint64>(timeout_.count())));
            // Whatever is still stuck in the old discoverer stays out of the next file's way.
            g_object_unref(discoverer_);
            discoverer_ = nullptr;
            break;
        case GST_DISCOVERER_MISSING_PLUGINS:
            result = ProbeFailure(FailureCode::NotAudio,
                                  QStringLiteral("needs a GStreamer plugin that is not installed"));
            break;
        default:
            if (error)
                result = ProbeFailure(
                    FailureCode::NotAudio,
                    QStringLiteral("cannot be read as audio (%1)").arg(QString::fromUtf8(error->message)));
            break;
    }
    if (info) g_object_unref(info);
    return result;
}

}  // namespace ostrelle
