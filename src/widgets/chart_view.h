// The chart of the savings, drawn with QPainter: the running total at the end of each month as a line (the
// left scale), each month's deposits as a bar (the right scale), and the goal as a dashed line. One month is
// the current one; the arrow keys and clicks move it.
#pragma once

#include "records/money.h"
#include "records/month_totals.h"

#include <QHash>
#include <QPixmap>
#include <QStaticText>
#include <QWidget>

#include <array>
#include <optional>

class ChartView final : public QWidget {
    Q_OBJECT

public:
    explicit ChartView(QWidget* parent = nullptr);

    // The months to draw, kept by the window, and the goal; call monthsChanged after the months change, with the
    // first month that changed (0 when they may all have).
    void setMonths(const records::MonthTotals* months);
    void setGoal(std::optional<records::Currency> goal);
    void monthsChanged(int changedFrom = 0);

    // The current month, as an index into the months; -1 when there are none.
    int current() const { return m_current; }
    void setCurrent(int index);
    // Where month `index` is drawn, at the middle of its slot, and the month under a point (-1 for none).
    QPoint monthCentre(int index) const;
    int monthAt(QPoint point) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void currentChanged(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Scale {
        double top = 1, bottom = 0, step = 1; // in yen
    };
    struct Plot {
        QRectF area;
        Scale left, right;
        double slot = 0; // width of a month
    };
    Plot plotFor(const std::vector<records::MonthTotal>& months) const;
    // What the kept picture of the scales, months and legend was drawn for.
    struct Layer {
        QSize size;
        qreal ratio = 0;
        qint64 palette = 0;
        QString font;
        std::array<double, 6> scales{};
        int months = 0;
        records::MonthKey first = 0;
        int current = -1;
        bool goal = false;
        bool operator==(const Layer&) const = default;
    };
    // What the kept picture would be drawn for now, and its drawing: the scales, the months below the chart, the
    // legend and the current month's band.
    Layer layerFor(const Plot& plot, const std::vector<records::MonthTotal>& months) const;
    void paintLayer(QPainter& painter, const Plot& plot, const std::vector<records::MonthTotal>& months) const;
    int count() const;
    // Draws a label centred on the box's height, aligned in its width. The labels are laid out once and kept: a
    // deposit redraws the chart, and laying its few dozen labels out again would be most of that.
    void drawLabel(QPainter& painter, const QRectF& box, Qt::Alignment alignment, const QString& text) const;
    const QStaticText& label(const QString& text) const;
    mutable QHash<QString, QStaticText> m_labels;
    QPixmap m_layer;
    Layer m_layerKey;

    const records::MonthTotals* m_months = nullptr;
    std::optional<records::Currency> m_goal;
    int m_current = -1;
};
