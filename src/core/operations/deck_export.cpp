#include "core/operations/deck_export.h"

#include "core/operations/anki_export.h"
#include "core/operations/review.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

namespace ostrelle {
void DeckExport::Export() {
    if (!adapters_.cutter || !adapters_.writer) return;
    const QString lesson = player_.Url();
    const qint64 now = nowMs_ ? nowMs_() : QDateTime::currentMSecsSinceEpoch();

    std::vector<ExportSentence> own;
    if (!lesson.isEmpty() && state_.abListPath == lesson) {
        // The lesson's hard ones are tagged so in Anki too.
        std::vector<std::pair<qint64, qint64>> hardSpans;
        if (adapters_.reviews)
            if (const Result<std::vector<HardSentence>> kept = adapters_.reviews->HardSentences(lesson);
                kept.ok())
                for (const HardSentence& sentence : kept.value())
                    hardSpans.emplace_back(sentence.aMs, sentence.bMs);
        for (const ABPair& pair : state_.abList) {
            if (pair.blank || pair.b.ms <= pair.a.ms) continue;
            const bool hard = std::find(hardSpans.begin(), hardSpans.end(),
                                        std::pair<qint64, qint64>(pair.a.ms, pair.b.ms)) != hardSpans.end();
            own.push_back({lesson, pair.a.ms, pair.b.ms,
                           state_.timedText.SpokenBetween(pair.a.Seconds(), pair.b.Seconds()), hard});
        }
    }
    std::vector<ExportSentence> hard, due;
    if (adapters_.reviews) {
        const Result<std::vector<HardSentence>> all = adapters_.reviews->HardSentences();
        if (all.ok()) {
            for (const HardSentence& sentence : all.value()) {
                QString text = sentence.text;
                const double from = sentence.aMs / 1000.0, to = sentence.bMs / 1000.0;
                if (text.isEmpty() && sentence.path == lesson)
                    text = state_.timedText.SpokenBetween(from, to);
                if (text.isEmpty() && sentence.path != lesson && lessonText_)
                    text = lessonText_(sentence.path).SpokenBetween(from, to);
                ExportSentence one{sentence.path, sentence.aMs, sentence.bMs, text, true};
                if (sentence.memory.dueMs <= EndOfToday(now)) due.push_back(one);
                hard.push_back(std::move(one));
            }
        }
    }
    if (own.empty() && hard.empty()) {
        dialogs_.ShowMessage(QString::fromUtf8("没有可以导出的句子：先标出复读段，或把难句加入难句本。"),
                             MessageTitle(), MessageKind::Information);
        return;
    }
    QStringList options;
    std::vector<std::pair<std::vector<ExportSentence>*, QString>> scopes;
    const QString lessonName = QFileInfo(lesson).completeBaseName();
    if (!own.empty()) {
        options << QString::fromUtf8("当前文件的复读段（%1 句）").arg(own.size());
        scopes.emplace_back(&own, QStringLiteral("Ostrelle::") + lessonName);
    }
    if (!hard.empty()) {
        options << QString::fromUtf8("难句本（%1 句）").arg(hard.size());
        scopes.emplace_back(&hard, QString::fromUtf8("Ostrelle::难句本"));
    }
    if (!due.empty()) {
        options << QString::fromUtf8("今天到期的难句（%1 句）").arg(due.size());
        scopes.emplace_back(&due, QString::fromUtf8("Ostrelle::难句本"));
    }
    const int chosen = dialogs_.Choose(QString::fromUtf8("导出到Anki：选择要导出的句子"),
                                       std::vector<QString>(options.begin(), options.end()));
    if (chosen < 0 || chosen >= static_cast<int>(scopes.size())) return;
    const MessageAnswer masked = dialogs_.ShowMessage(
        QString::fromUtf8("卡片正面除了录音，还显示遮住的句子（每个词只露出第一个字母）吗？"), MessageTitle(),
        MessageKind::QuestionWithCancel);
    if (masked == MessageAnswer::Cancel) return;
    const QString suggested = scopes[chosen].first == &own ? lessonName + QStringLiteral(".apkg")
                                                           : QString::fromUtf8("难句本.apkg");
    const FileChoice target = dialogs_.SaveFile(QString::fromUtf8("Anki 卡片包 (*.apkg)|*.apkg"),
                                                QFileInfo(lesson).absolutePath() + u'/' + suggested);
    if (target.Cancelled()) return;
    QString out = target.fileName;
    if (!out.endsWith(QStringLiteral(".apkg"), Qt::CaseInsensitive)) out += QStringLiteral(".apkg");

    ExportRequest request{.outPath = out,
                          .deckName = scopes[chosen].second,
                          .sentences = *scopes[chosen].first,
                          .maskedFront = masked == MessageAnswer::Yes};
    const Result<ExportReport> done =
        ExportSentences(request, *adapters_.cutter, *adapters_.writer, now, [this](int cards, int total) {
            return dialogs_.ReportProgress(QString::fromUtf8("正在导出到Anki……"), cards, total);
        });
    dialogs_.ReportProgress(QString(), 1, 1);
    if (!done.ok()) {
        if (done.failure().detail != QString::fromUtf8("已取消"))
            dialogs_.ShowMessage(FailureMessage(QString::fromUtf8("没有导出到Anki。"), done.failure()),
                                 MessageTitle(), MessageKind::Error);
        return;
    }
    QString text =
        QString::fromUtf8(
            "已导出 %1 张卡片到\n%2\n\n在 Anki 里用“文件 → 导入”打开它；再次导出会更新这些卡片，不会重复。")
            .arg(done.value().cards)
            .arg(out);
    if (!done.value().skipped.isEmpty())
        text += QString::fromUtf8("\n\n这些文件打不开，其中的句子没有导出：%1")
                    .arg(done.value().skipped.join(QString::fromUtf8("、")));
    dialogs_.ShowMessage(text, MessageTitle(), MessageKind::Information);
}

}  // namespace ostrelle
