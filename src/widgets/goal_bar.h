// The way to the savings goal on the main window: a thin bar with the words 「目標 ¥80,000 まで あと ¥12,340」
// above it, in the ivory panel of the theme name, and the picture of the button that opens the chart.
#pragma once

#include "records/money.h"

#include <QIcon>
#include <QProgressBar>

#include <optional>

// The words of the bar: how far the total is from the goal, that it has been reached, or how to set one.
QString GoalProgressText(std::optional<records::Currency> goal, records::Currency total);
// How much of the goal the total is, in whole percent from 0 to 100; 100 only once it is reached.
int GoalPercent(records::Currency goal, records::Currency total);

// A progress bar to a screen reader (its value the percent, its name 目標, its words the description); drawn
// by itself so that it reads the same on the fixed ivory panel in a light and a dark desktop, its words
// shrinking to fit rather than being cut.
class GoalBar final : public QProgressBar {
    Q_OBJECT

public:
    explicit GoalBar(QWidget* parent);

    // Shows the way from the total to the goal, or, without a goal, how to set one.
    void showGoal(std::optional<records::Currency> goal, records::Currency total);
    // When the goal or the total cannot be known: why, without a bar.
    void showUnknown(const QString& why);
    // The words as drawn now, and the font they are drawn in.
    QString words() const { return format(); }
    QFont wordsFont() const;
    bool hasGoal() const { return m_hasGoal; }

signals:
    void DblClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void setWords(const QString& words);
    bool m_hasGoal = false;
};

// The chart button's picture: bars and a rising line, drawn at every size it is shown in.
QIcon ChartIcon();
