#pragma once

#include "core/operations/practice_diary.h"

#include <QDialog>

class QLabel;

namespace ostrelle {

// 学习记录: minutes practised each of the last days as bars, with the counts and the streak beneath.
class PracticeWindow : public QDialog {
public:
    explicit PracticeWindow(QWidget* parent = nullptr);
    void Show(const PracticeSummary& summary);

private:
    QWidget* chartHolder_ = nullptr;
    QLabel* totals_ = nullptr;
};

// The line under the chart: the days' counts and the streak.
QString PracticeTotalsText(const PracticeSummary& summary);

}  // namespace ostrelle
