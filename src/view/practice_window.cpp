#include "view/practice_window.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QFont>
#include <QLabel>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace ostrelle {

QString PracticeTotalsText(const PracticeSummary& summary) {
    const PracticeDay& t = summary.total;
    return QString::fromUtf8(
               "近 %1 天：练习 %2 分钟 · 复读 %3 遍 · 跟读 %4 次 · 听写 %5 句 · 复习难句 %6 次\n"
               "连续学习 %7 天")
        .arg(summary.days.size())
        .arg(QString::number(static_cast<double>(t.playedMs) / 60'000, 'f', 1))
        .arg(t.passes)
        .arg(t.takes)
        .arg(t.dictated)
        .arg(t.reviewed)
        .arg(summary.streakDays);
}

PracticeWindow::PracticeWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("学习记录"));
    auto* layout = new QVBoxLayout(this);
    chartHolder_ = new QWidget(this);
    chartHolder_->setLayout(new QVBoxLayout);
    chartHolder_->layout()->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(chartHolder_, 1);
    totals_ = new QLabel(this);
    totals_->setAlignment(Qt::AlignCenter);
    layout->addWidget(totals_);
    resize(860, 440);
}

void PracticeWindow::Show(const PracticeSummary& summary) {
    auto* minutes = new QBarSet(QString::fromUtf8("练习分钟"));
    QStringList days;
    double most = 0;
    for (const PracticeDay& day : summary.days) {
        const double shown = std::round(static_cast<double>(day.playedMs) / 6'000) / 10;
        *minutes << shown;
        most = std::max(most, shown);
        // The day of the month only: thirty labels fit upright; the title gives the months.
        days << QString::number(day.day.day());
    }
    auto* series = new QBarSeries;
    series->append(minutes);
    auto* chart = new QChart;
    chart->addSeries(series);
    if (!summary.days.empty())
        chart->setTitle(QString::fromUtf8("每天练习的分钟数（%1 至 %2）")
                            .arg(summary.days.front().day.toString(QStringLiteral("M-d")),
                                 summary.days.back().day.toString(QStringLiteral("M-d"))));
    chart->legend()->hide();
    auto* axisX = new QBarCategoryAxis;
    axisX->append(days);
    QFont small = axisX->labelsFont();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    axisX->setLabelsFont(small);
    chart->addAxis(axisX, Qt::AlignBottom);
    series->attachAxis(axisX);
    auto* axisY = new QValueAxis;
    axisY->setRange(0, std::max(5.0, std::ceil(most * 1.1)));
    axisY->applyNiceNumbers();
    axisY->setLabelFormat(QStringLiteral("%g"));
    chart->addAxis(axisY, Qt::AlignLeft);
    series->attachAxis(axisY);

    QLayout* holder = chartHolder_->layout();
    while (QLayoutItem* old = holder->takeAt(0)) {
        delete old->widget();
        delete old;
    }
    auto* view = new QChartView(chart, chartHolder_);
    view->setRenderHint(QPainter::Antialiasing);
    holder->addWidget(view);
    totals_->setText(PracticeTotalsText(summary));
    show();
    raise();
    activateWindow();
}

}  // namespace ostrelle
