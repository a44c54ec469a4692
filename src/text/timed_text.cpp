#include "text/timed_text.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ostrelle {
namespace {

// Times beyond a day are not times of a lesson; a tag claiming one is kept as text.
constexpr double kLongestSeconds = 24 * 3600.0;

QStringList SplitLines(const QString& text) {
    QString unified = text;
    unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QStringList lines = unified.split(u'\n');
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();  // the final line end
    return lines;
}

double Fraction(const QString& digits) {
    return digits.isEmpty() ? 0.0 : digits.toInt() / std::pow(10.0, digits.size());
}

// The seconds an LRC time tag's inside names, or nothing.
std::optional<double> LrcTime(const QString& inside) {
    static const QRegularExpression minutesSeconds(
        QStringLiteral(R"(^(\d{1,3}):([0-5]\d)(?:[.](\d{1,3})|:(\d{2}))?$)"));
    static const QRegularExpression hoursMinutesSeconds(
        QStringLiteral(R"(^(\d{1,2}):([0-5]\d):([0-5]\d)[.](\d{1,3})$)"));
    double seconds = -1;
    if (const auto m = minutesSeconds.match(inside); m.hasMatch()) {
        seconds = m.captured(1).toInt() * 60 + m.captured(2).toInt() + Fraction(m.captured(3)) +
                  (m.captured(4).isEmpty() ? 0.0 : m.captured(4).toInt() / 100.0);
    } else if (const auto h = hoursMinutesSeconds.match(inside); h.hasMatch()) {
        seconds = h.captured(1).toInt() * 3600 + h.captured(2).toInt() * 60 + h.captured(3).toInt() +
                  Fraction(h.captured(4));
    }
    if (seconds < 0 || seconds > kLongestSeconds) return std::nullopt;
    return seconds;
}

// Times are kept to the millisecond, the finest a tag gives.
double Milliseconds(double seconds) {
    return std::round(seconds * 1000.0) / 1000.0;
}

// Sorts by time, keeping each untimed line after the timed line it followed.
TimedText InTimeOrder(std::vector<TimedLine> lines) {
    std::vector<std::pair<double, std::size_t>> keys;
    double last = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].seconds) last = *lines[i].seconds;
        keys.emplace_back(last, i);
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    TimedText sorted;
    sorted.lines.reserve(lines.size());
    for (const auto& [key, index] : keys)
        sorted.lines.push_back(std::move(lines[index]));
    return sorted;
}

}  // namespace

bool TimedText::HasTimes() const {
    return std::any_of(lines.begin(), lines.end(),
                       [](const TimedLine& line) { return line.seconds.has_value(); });
}

QString TimedText::ShownText() const {
    QStringList shown;
    for (const TimedLine& line : lines)
        shown << line.text;
    return shown.join(u'\n');
}

int TimedText::LineAt(double seconds) const {
    int found = -1;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        if (!lines[i].seconds) continue;
        if (*lines[i].seconds > seconds) break;
        found = i;
    }
    return found;
}

std::optional<double> TimedText::NextTimeAfter(int line) const {
    if (line < 0 || line >= static_cast<int>(lines.size()) || !lines[line].seconds) return std::nullopt;
    for (int i = line + 1; i < static_cast<int>(lines.size()); ++i) {
        if (lines[i].seconds && *lines[i].seconds > *lines[line].seconds) return lines[i].seconds;
    }
    return std::nullopt;
}

TimedText ParseLrc(const QString& text) {
    static const QRegularExpression leadingTag(QStringLiteral(R"(^\[([^\[\]]*)\])"));
    static const QRegularExpression metadata(QStringLiteral(R"(^([A-Za-z#][A-Za-z0-9_#-]*):(.*)$)"));
    static const QRegularExpression offsetValue(QStringLiteral(R"(^\s*([+-]?\d{1,9})\s*$)"));

    struct Parsed {
        std::vector<double> times;
        QString text;
        bool timed = false;
    };
    std::vector<Parsed> parsed;
    double offsetSeconds = 0;
    for (const QString& line : SplitLines(text)) {
        Parsed entry;
        qsizetype at = 0;
        QRegularExpressionMatch tag;
        while ((tag = leadingTag.match(line.mid(at))).hasMatch()) {
            const QString inside = tag.captured(1);
            if (const std::optional<double> time = LrcTime(inside)) {
                entry.times.push_back(*time);
            } else if (const auto meta = metadata.match(inside); meta.hasMatch() && entry.times.empty()) {
                if (meta.captured(1).compare(QStringLiteral("offset"), Qt::CaseInsensitive) == 0) {
                    if (const auto ms = offsetValue.match(meta.captured(2)); ms.hasMatch())
                        offsetSeconds = ms.captured(1).toLongLong() / 1000.0;
                }
            } else {
                break;  // neither a time nor metadata: from here on it is text
            }
            at += tag.capturedLength(0);
        }
        const QString rest = line.mid(at);
        if (!entry.times.empty()) {
            entry.text = rest;
            entry.timed = true;
        } else {
            if (at > 0 && rest.isEmpty()) continue;  // metadata alone
            entry.text = line;                       // a tag that is not understood is shown, not dropped
        }
        parsed.push_back(std::move(entry));
    }

    std::vector<TimedLine> lines;
    for (const Parsed& entry : parsed) {
        if (!entry.timed) {
            lines.push_back({std::nullopt, entry.text});
            continue;
        }
        for (double time : entry.times)
            lines.push_back({Milliseconds(std::max(0.0, time - offsetSeconds)), entry.text});
    }
    return InTimeOrder(std::move(lines));
}

TimedText ParseSrt(const QString& text) {
    static const QRegularExpression cueTimes(QStringLiteral(
        R"(^\s*(\d{1,2}):([0-5]\d):([0-5]\d)[,.](\d{1,3})\s*-->\s*(\d{1,2}):([0-5]\d):([0-5]\d)[,.](\d{1,3}))"));
    static const QRegularExpression cueNumber(QStringLiteral(R"(^\s*\d+\s*$)"));
    const auto seconds = [](const QRegularExpressionMatch& m, int first) {
        return m.captured(first).toInt() * 3600 + m.captured(first + 1).toInt() * 60 +
               m.captured(first + 2).toInt() + Fraction(m.captured(first + 3));
    };

    // Blocks of lines between blank lines.
    std::vector<QStringList> blocks(1);
    for (const QString& line : SplitLines(text)) {
        if (line.trimmed().isEmpty()) {
            if (!blocks.back().isEmpty()) blocks.emplace_back();
        } else {
            blocks.back() << line;
        }
    }
    if (blocks.back().isEmpty()) blocks.pop_back();

    struct Cue {
        double start;
        double end;
    };
    std::vector<TimedLine> lines;
    std::vector<Cue> cues;
    for (const QStringList& block : blocks) {
        int timeLine = cueNumber.match(block.front()).hasMatch() && block.size() > 1 ? 1 : 0;
        const QRegularExpressionMatch times = cueTimes.match(block[timeLine]);
        // As an LRC tag: a cue past a day is no time of a lesson, and its block is kept as text.
        if (!times.hasMatch() || seconds(times, 1) > kLongestSeconds) {
            for (const QString& line : block)
                lines.push_back({std::nullopt, line});
            continue;
        }
        QStringList words;
        for (int i = timeLine + 1; i < block.size(); ++i)
            words << block[i].trimmed();
        const double start = Milliseconds(seconds(times, 1));
        const double end = std::max(start, Milliseconds(std::min(seconds(times, 5), kLongestSeconds)));
        lines.push_back({start, words.join(u' ')});
        cues.push_back({start, end});
    }
    // A cue's end is a pause unless another cue starts then.
    std::vector<double> starts;
    for (const Cue& cue : cues)
        starts.push_back(cue.start);
    for (const Cue& cue : cues) {
        const bool followed = std::any_of(starts.begin(), starts.end(), [&](double s) {
            return s >= cue.start && s <= cue.end + 0.0005 && s > cue.start;
        });
        if (!followed && cue.end > cue.start) lines.push_back({cue.end, QString()});
    }
    return InTimeOrder(std::move(lines));
}

bool IsTimedTextFile(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QStringLiteral("lrc") || suffix == QStringLiteral("srt");
}

TimedText ParseTimedText(const QString& text, const QString& path) {
    return QFileInfo(path).suffix().compare(QStringLiteral("srt"), Qt::CaseInsensitive) == 0 ? ParseSrt(text)
                                                                                             : ParseLrc(text);
}

QString TimedText::SpokenBetween(double fromSeconds, double toSeconds) const {
    QString words;
    const int count = static_cast<int>(lines.size());
    for (int i = 0; i < count; ++i) {
        if (!lines[i].seconds || lines[i].text.trimmed().isEmpty()) continue;
        const double start = *lines[i].seconds;
        const double middle = (start + std::max(start, NextTimeAfter(i).value_or(toSeconds))) / 2;
        if (middle < fromSeconds || middle >= toSeconds) continue;
        if (!words.isEmpty()) words += u' ';
        words += lines[i].text.trimmed();
    }
    return words;
}

}  // namespace ostrelle
