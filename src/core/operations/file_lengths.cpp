#include "core/operations/file_lengths.h"

#include <QDateTime>
#include <QFileInfo>

namespace ostrelle {
namespace {

// Enough to keep the measuring thread busy while the UI thread writes rows, few enough to cancel quickly.
constexpr qsizetype kMeasuredAhead = 4;
// Each wait is short, so a progress dialog between waits keeps the window responsive.
constexpr int kWaitSliceMs = 20;
// While measuring ahead, lengths are kept in writes of this many, so little is lost to a crash.
constexpr std::size_t kKeptTogether = 100;

}  // namespace

FileLengths::FileLengths(DurationMeter& meter, LengthStore* store) : meter_(meter), store_(store) {
    meter_.SetHandler(
        [this](const QString& path, std::optional<double> seconds) { Measured(path, seconds); });
}

FileLengths::~FileLengths() {
    meter_.SetHandler({});
    KeepMeasured();
}

FileLengths::Stamp FileLengths::StampOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile()) return {};
    return {info.size(), info.lastModified().toMSecsSinceEpoch()};
}

FileLengths::Length FileLengths::Of(const QString& path) {
    const Stamp stamp = StampOf(path);
    const auto matches = [&](const KeptLength& kept) {
        return Stamp{kept.sizeBytes, kept.modifiedMs} == stamp;
    };
    if (const auto it = known_.constFind(path); it != known_.constEnd() && matches(*it))
        return {Status::kKnown, it->seconds};
    if (measuring_.contains(path)) return {Status::kMeasuring};
    if (stamp.Valid() && store_) {
        if (const std::optional<KeptLength> kept = store_->KeptLengthOf(path); kept && matches(*kept)) {
            known_.insert(path, *kept);
            return {Status::kKnown, kept->seconds};
        }
    }
    if (const auto it = unknown_.constFind(path); it != unknown_.constEnd() && *it == stamp)
        return {Status::kUnknown};
    measuring_.insert(path, stamp);
    meter_.Measure(path);
    return {Status::kMeasuring};
}

void FileLengths::Measured(const QString& path, std::optional<double> seconds) {
    const auto it = measuring_.constFind(path);
    if (it == measuring_.constEnd()) return;  // cancelled meanwhile
    // Kept with the version asked for: a file changed while it was measured is measured again.
    const Stamp stamp = *it;
    measuring_.erase(it);
    if (!seconds || !(*seconds > 0)) {
        unknown_.insert(path, stamp);
        return;
    }
    known_.remove(path);
    unknown_.remove(path);
    const KeptLength kept{stamp.sizeBytes, stamp.modifiedMs, *seconds};
    known_.insert(path, kept);
    if (!stamp.Valid() || !store_) return;
    unkept_.emplace_back(path, kept);
    if (!measuringAhead_ || unkept_.size() >= kKeptTogether) KeepMeasured();
}

void FileLengths::KeepMeasured() {
    // A length that cannot be stored is only measured again next run.
    if (!unkept_.empty() && store_) (void)store_->KeepLengths(unkept_);
    unkept_.clear();
}

void FileLengths::MeasureAhead(const QStringList& paths) {
    ahead_.assign(paths.begin(), paths.end());
    measuringAhead_ = true;
}

void FileLengths::TopUpAhead() {
    while (!ahead_.empty() && measuring_.size() < kMeasuredAhead) {
        const QString next = ahead_.front();
        ahead_.pop_front();
        (void)Of(next);
    }
}

std::optional<FileLengths::Length> FileLengths::Await(const QString& path,
                                                      const std::function<bool()>& keepWaiting) {
    // The path waited for leaves the ahead list, so it is not measured twice.
    if (!ahead_.empty() && ahead_.front() == path) ahead_.pop_front();
    for (;;) {
        const Length length = Of(path);
        TopUpAhead();
        if (length.status != Status::kMeasuring) return length;
        if (!keepWaiting()) return std::nullopt;
        meter_.DeliverResults(kWaitSliceMs);
    }
}

void FileLengths::FinishAhead() {
    ahead_.clear();
    meter_.CancelQueued();
    // A result still under way comes back and is dropped; asked again, the file is measured again.
    measuring_.clear();
    measuringAhead_ = false;
    KeepMeasured();
}

}  // namespace ostrelle
