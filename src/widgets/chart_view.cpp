// The chart of the savings. Two scales share their zero: totals grow to many times what one month adds, so
// the bars of the months get a scale of their own (on the right) rather than lying flat under the line.
#include "widgets/chart_view.h"

#include "widgets/controls.h"
#include "widgets/text_convert.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;
using records::MonthTotal;
using records::WideMoney;

namespace {

double Yen(WideMoney amount) {
    return static_cast<double>(amount) / records::Currency::kScale;
}

// A step of 1, 2, 2.5 or 5 times a power of ten that cuts the span into about four, and at least one yen.
double NiceStep(double span) {
    const double raw = std::max(span / 4, 1.0);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 2.5, 5.0})
        if (m * power >= raw)
            return m * power;
    return 10 * power;
}

QString TickText(double yen) {
    const double whole = std::clamp(std::round(yen), -9.0e14, 9.0e14);
    return fromUtf8(records::FormatMoney(records::Currency::FromYen(static_cast<std::int64_t>(whole))));
}

// The colours of the chart, from the desktop's palette: text and background as the desktop has them, the
// series in a darker shade on a light background and a lighter one on a dark background, each reading on it.
struct Colours {
    QColor base, text, grid, bar, line, goal, band;
};

Colours ColoursFor(const QPalette& palette) {
    Colours c;
    c.base = palette.color(QPalette::Base);
    c.text = palette.color(QPalette::Text);
    const bool dark = c.base.lightness() < 128;
    // A fifth of the way from the background to the text: solid, so that its lines need no blending.
    c.grid =
        QColor::fromRgbF(c.base.redF() * 0.8f + c.text.redF() * 0.2f, c.base.greenF() * 0.8f + c.text.greenF() * 0.2f,
                         c.base.blueF() * 0.8f + c.text.blueF() * 0.2f);
    c.bar = dark ? QColor(0x6F, 0xA8, 0xE8) : QColor(0x3A, 0x6E, 0xB5);
    c.line = dark ? QColor(0xFF, 0x9E, 0x80) : QColor(0xB3, 0x26, 0x1E);
    c.goal = dark ? QColor(0x7B, 0xD3, 0x89) : QColor(0x2E, 0x7D, 0x32);
    c.band = palette.color(QPalette::Highlight);
    c.band.setAlpha(60);
    return c;
}

double YOf(double yen, double top, double bottom, const QRectF& area) {
    return area.top() + (top - yen) / (top - bottom) * area.height();
}

} // namespace

ChartView::ChartView(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setFont(GothicFont(kProportionalGothic, 9));
    // Every pixel is painted: the background with the scales, from the picture kept of them.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChartView::setMonths(const records::MonthTotals* months) {
    m_months = months;
    monthsChanged();
}

void ChartView::setGoal(std::optional<records::Currency> goal) {
    m_goal = goal;
    update();
}

int ChartView::count() const {
    return m_months ? static_cast<int>(m_months->months().size()) : 0;
}

void ChartView::monthsChanged(int changedFrom) {
    const int n = count();
    if (m_current >= n || (m_current < 0 && n > 0))
        setCurrent(n - 1);
    // With the scales and the months as they were, only the bars and the line from the month before the first
    // that changed are drawn again: after a deposit, the last month's.
    if (changedFrom > 0 && n > 0 && !m_layer.isNull()) {
        const std::vector<MonthTotal>& months = m_months->months();
        const Plot plot = plotFor(months);
        if (layerFor(plot, months) == m_layerKey) {
            const double left = std::floor(plot.area.left() + (changedFrom - 1) * plot.slot) - 6;
            update(QRectF(left, 0, width() - left, height()).toAlignedRect());
            return;
        }
    }
    update();
}

void ChartView::setCurrent(int index) {
    const int n = count();
    index = n == 0 ? -1 : std::clamp(index, 0, n - 1);
    if (index == m_current)
        return;
    m_current = index;
    update();
    emit currentChanged(index);
}

QSize ChartView::sizeHint() const {
    return {620, 280};
}

QSize ChartView::minimumSizeHint() const {
    return {360, 180};
}

ChartView::Plot ChartView::plotFor(const std::vector<MonthTotal>& months) const {
    Plot plot;
    double lowLeft = 0, highLeft = 0, lowRight = 0, highRight = 0;
    for (const MonthTotal& m : months) {
        lowLeft = std::min(lowLeft, Yen(m.total));
        highLeft = std::max(highLeft, Yen(m.total));
        lowRight = std::min(lowRight, Yen(m.sum));
        highRight = std::max(highRight, Yen(m.sum));
    }
    if (m_goal)
        highLeft = std::max(highLeft, Yen(m_goal->tenThousandths()));
    auto scaleOf = [](double low, double high) {
        // A little room above the highest value, so that neither a bar nor the goal's line meets the legend.
        high *= 1.05;
        low *= 1.05;
        Scale s;
        s.step = NiceStep(high - low);
        s.top = std::max(std::ceil(high / s.step) * s.step, s.step);
        s.bottom = std::floor(low / s.step) * s.step;
        return s;
    };
    plot.left = scaleOf(lowLeft, highLeft);
    plot.right = scaleOf(lowRight, highRight);
    // The share below zero becomes the larger of the two, so that both zeros lie on one line.
    auto below = [](const Scale& s) { return -s.bottom / (s.top - s.bottom); };
    const double share = std::max(below(plot.left), below(plot.right));
    for (Scale* s : {&plot.left, &plot.right})
        if (below(*s) < share)
            s->bottom = -share * s->top / (1 - share);

    const QFontMetricsF metrics(font());
    auto widestTick = [this](const Scale& s) {
        double widest = 0;
        for (double v = std::ceil(s.bottom / s.step) * s.step; v <= s.top; v += s.step)
            widest = std::max(widest, label(TickText(v)).size().width());
        return widest;
    };
    const double left = widestTick(plot.left) + 10;
    const double right = widestTick(plot.right) + 10;
    const double legend = metrics.height() + 10;
    const double axis = 2 * metrics.height() + 8;
    plot.area = QRectF(left, legend, std::max(width() - left - right, 10.0), std::max(height() - legend - axis, 10.0));
    plot.slot = months.empty() ? 0 : plot.area.width() / static_cast<double>(months.size());
    return plot;
}

QPoint ChartView::monthCentre(int index) const {
    if (!m_months || index < 0 || index >= count())
        return {};
    const Plot plot = plotFor(m_months->months());
    return QPointF(plot.area.left() + (index + 0.5) * plot.slot, plot.area.center().y()).toPoint();
}

int ChartView::monthAt(QPoint point) const {
    if (count() == 0)
        return -1;
    const Plot plot = plotFor(m_months->months());
    if (point.x() < plot.area.left() || point.x() > plot.area.right())
        return -1;
    return std::clamp(static_cast<int>((point.x() - plot.area.left()) / plot.slot), 0, count() - 1);
}

ChartView::Layer ChartView::layerFor(const Plot& plot, const std::vector<MonthTotal>& months) const {
    return {size(),
            devicePixelRatioF(),
            palette().cacheKey(),
            font().key(),
            {plot.left.top, plot.left.bottom, plot.left.step, plot.right.top, plot.right.bottom, plot.right.step},
            static_cast<int>(months.size()),
            months.empty() ? 0 : months.front().key,
            m_current,
            m_goal.has_value()};
}

void ChartView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const Colours colours = ColoursFor(palette());
    if (count() == 0) {
        painter.fillRect(rect(), colours.base);
        painter.setPen(colours.text);
        painter.drawText(rect(), Qt::AlignCenter, u"まだ日付のある入金の記録がありません"_s);
    } else {
        const std::vector<MonthTotal>& months = m_months->months();
        const Plot plot = plotFor(months);
        const QRectF& area = plot.area;
        const QFontMetricsF metrics(font());
        auto yLeft = [&](double yen) { return YOf(yen, plot.left.top, plot.left.bottom, area); };
        auto yRight = [&](double yen) { return YOf(yen, plot.right.top, plot.right.bottom, area); };
        auto xOf = [&](std::size_t i) { return area.left() + (static_cast<double>(i) + 0.5) * plot.slot; };

        // The scales, the months, the legend and the current month's band change only with the scales, the months
        // shown, the current month, the size and the look: a deposit draws them from the picture kept of them.
        const Layer layer = layerFor(plot, months);
        if (m_layerKey != layer || m_layer.isNull()) {
            m_layer = QPixmap(size() * devicePixelRatioF());
            m_layer.setDevicePixelRatio(devicePixelRatioF());
            m_layer.fill(colours.base);
            QPainter picture(&m_layer);
            picture.setFont(font());
            paintLayer(picture, plot, months);
            m_layerKey = layer;
        }
        painter.drawPixmap(0, 0, m_layer);
        // The months in the part to draw, and one on either side for the line coming in and going out.
        const QRect dirty = event->rect();
        const auto monthOf = [&](double x) {
            return static_cast<std::size_t>(std::clamp((x - area.left()) / plot.slot, 0.0, double(months.size() - 1)));
        };
        const std::size_t first = monthOf(dirty.left()) > 0 ? monthOf(dirty.left()) - 1 : 0;
        const std::size_t end = std::min(monthOf(dirty.right()) + 2, months.size());

        // The bars; where months are narrower than two pixels, each pixel column shows the most and the least.
        painter.setPen(Qt::NoPen);
        painter.setBrush(colours.bar);
        const double zero = yRight(0);
        if (plot.slot >= 2) {
            // On whole pixels, where the painter fills a rectangle directly rather than through its rasteriser.
            const double barWidth = std::max(plot.slot * 0.6, 1.0);
            QList<QRect> bars;
            bars.reserve(static_cast<qsizetype>(end - first));
            QRect currentBar;
            for (std::size_t i = first; i < end; ++i) {
                const double y = yRight(Yen(months[i].sum));
                const QRect bar =
                    QRectF(xOf(i) - barWidth / 2, std::min(y, zero), barWidth, std::abs(zero - y)).toAlignedRect();
                if (static_cast<int>(i) == m_current)
                    currentBar = bar;
                if (months[i].sum != 0)
                    bars << bar;
            }
            painter.drawRects(bars);
            // The current month's bar is outlined in the text colour, which reads on either background.
            if (m_current >= 0 && !currentBar.isNull()) {
                // Its four sides as rectangles: a wide pen would go through the stroker.
                const QRect frame = currentBar.adjusted(-1, -1, 1, 1);
                for (const QRect& side : {QRect(frame.left(), frame.top(), frame.width(), 2),
                                          QRect(frame.left(), frame.bottom() - 1, frame.width(), 2),
                                          QRect(frame.left(), frame.top(), 2, frame.height()),
                                          QRect(frame.right() - 1, frame.top(), 2, frame.height())})
                    painter.fillRect(side, colours.text);
            }
        } else {
            int column = -1;
            double most = 0, least = 0;
            auto flush = [&] {
                if (column >= 0)
                    painter.drawRect(QRectF(column, yRight(most), 1, yRight(least) - yRight(most)));
            };
            for (std::size_t i = first; i < end; ++i) {
                const int at = static_cast<int>(xOf(i));
                if (at != column) {
                    flush();
                    column = at;
                    most = least = 0;
                }
                most = std::max(most, Yen(months[i].sum));
                least = std::min(least, Yen(months[i].sum));
            }
            flush();
        }

        // The running total, and a mark on the current month.
        painter.setRenderHint(QPainter::Antialiasing, months.size() < 4000);
        // Months without deposits continue the line straight: one stretch, not a join at every month.
        QPolygonF line;
        line.reserve(static_cast<qsizetype>(end - first));
        std::optional<QPointF> current;
        for (std::size_t i = first; i < end; ++i) {
            const QPointF point(xOf(i), yLeft(Yen(months[i].total)));
            if (line.size() >= 2 && line.last().y() == point.y() && line[line.size() - 2].y() == point.y())
                line.last() = point;
            else
                line << point;
            if (static_cast<int>(i) == m_current)
                current = point;
        }
        // Bevelled joins: round ones cost the stroker trigonometry at every month, which was most of a redraw.
        painter.setPen(QPen(colours.line, 2.5, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(line);
        if (current) {
            painter.setBrush(colours.base);
            painter.drawEllipse(*current, 4, 4);
        }

        if (m_goal) {
            // Dashes as rectangles: a dashed pen sends every dash through the stroker.
            const double y = std::round(yLeft(Yen(m_goal->tenThousandths())));
            QList<QRectF> dashes;
            for (double x = area.left(); x < area.right(); x += 12)
                dashes << QRectF(x, y - 1, std::min(7.0, area.right() - x), 2);
            painter.setRenderHint(QPainter::Antialiasing, false);
            painter.setPen(Qt::NoPen);
            painter.setBrush(colours.goal);
            painter.drawRects(dashes);
            const QString label = u"目標 %1"_s.arg(fromUtf8(records::FormatMoney(*m_goal)));
            const bool above = y - metrics.height() - 3 >= area.top();
            const double labelWidth = metrics.horizontalAdvance(label) + 8;
            const QRectF box(area.right() - labelWidth - 2, above ? y - metrics.height() - 3 : y + 3, labelWidth,
                             metrics.height());
            // On a patch of the background, so that it reads over the bars and the line.
            painter.fillRect(box, colours.base);
            painter.setPen(colours.goal);
            drawLabel(painter, box, Qt::AlignHCenter, label);
        }
    }
    if (hasFocus()) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5));
    }
}

void ChartView::paintLayer(QPainter& painter, const Plot& plot, const std::vector<MonthTotal>& months) const {
    const Colours colours = ColoursFor(palette());
    const QFontMetricsF metrics(font());
    const QRectF& area = plot.area;
    auto yLeft = [&](double yen) { return YOf(yen, plot.left.top, plot.left.bottom, area); };
    auto yRight = [&](double yen) { return YOf(yen, plot.right.top, plot.right.bottom, area); };
    if (m_current >= 0)
        painter.fillRect(
            QRectF(area.left() + m_current * plot.slot, area.top(), std::max(plot.slot, 2.0), area.height())
                .toAlignedRect(),
            colours.band);
    // Scales: the left one with lines across, the right one with its figures only.
    for (double v = std::ceil(plot.left.bottom / plot.left.step) * plot.left.step; v <= plot.left.top;
         v += plot.left.step) {
        const double y = yLeft(v);
        painter.setPen(QPen(colours.grid, 1));
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        painter.setPen(colours.text);
        drawLabel(painter, QRectF(0, y - metrics.height() / 2, area.left() - 6, metrics.height()), Qt::AlignRight,
                  TickText(v));
    }
    for (double v = std::ceil(plot.right.bottom / plot.right.step) * plot.right.step; v <= plot.right.top;
         v += plot.right.step) {
        const double y = yRight(v);
        painter.setPen(colours.text);
        drawLabel(painter, QRectF(area.right() + 6, y - metrics.height() / 2, width(), metrics.height()), Qt::AlignLeft,
                  TickText(v));
    }
    painter.setPen(QPen(colours.text, 1));
    painter.drawLine(QPointF(area.left(), yLeft(0)), QPointF(area.right(), yLeft(0)));

    // The months below: every month where there is room for 「12月」, else the years, every so many.
    painter.setPen(colours.text);
    const double rowHeight = metrics.height();
    const double monthRow = area.bottom() + 4;
    const double yearRow = monthRow + rowHeight;
    const double monthWidth = metrics.horizontalAdvance(u"12月"_s) + 4;
    const double yearWidth = metrics.horizontalAdvance(u"0000年"_s) + 8;
    const bool everyMonth = plot.slot >= monthWidth;
    const int everyYears = everyMonth ? 1 : std::max(1, static_cast<int>(std::ceil(yearWidth / (12 * plot.slot))));
    double lastYearEnd = -1;
    for (std::size_t i = 0; i < months.size(); ++i) {
        const int month = records::MonthOfYear(months[i].key);
        const int year = records::YearOfMonth(months[i].key);
        const double slotLeft = area.left() + static_cast<double>(i) * plot.slot;
        if (everyMonth)
            drawLabel(painter, QRectF(slotLeft, monthRow, plot.slot, rowHeight), Qt::AlignHCenter,
                      u"%1月"_s.arg(month));
        const bool labelled = (month == 1 && year % everyYears == 0) || i == 0;
        if (labelled && slotLeft >= lastYearEnd) {
            painter.drawLine(QPointF(slotLeft, area.bottom()), QPointF(slotLeft, area.bottom() + 3));
            drawLabel(painter, QRectF(slotLeft + 1, everyMonth ? yearRow : monthRow, yearWidth, rowHeight),
                      Qt::AlignLeft, u"%1年"_s.arg(year));
            lastYearEnd = slotLeft + yearWidth;
        }
    }

    // What the marks stand for, above the chart.
    double x = area.left();
    const double mid = metrics.height() / 2 + 3;
    auto legend = [&](const QString& text, auto swatch) {
        swatch(x, mid);
        painter.setPen(colours.text);
        drawLabel(painter, QRectF(x + 22, mid - metrics.height() / 2, width(), metrics.height()), Qt::AlignLeft, text);
        x += 22 + metrics.horizontalAdvance(text) + 16;
    };
    legend(u"累計（左の目盛り）"_s, [&](double at, double y) {
        painter.setPen(QPen(colours.line, 2.5));
        painter.drawLine(QPointF(at, y), QPointF(at + 18, y));
    });
    legend(u"月ごとの入金（右の目盛り）"_s,
           [&](double at, double y) { painter.fillRect(QRectF(at + 5, y - 5, 8, 10), colours.bar); });
    if (m_goal)
        legend(u"目標"_s, [&](double at, double y) {
            painter.setPen(QPen(colours.goal, 2, Qt::DashLine));
            painter.drawLine(QPointF(at, y), QPointF(at + 18, y));
        });
}

const QStaticText& ChartView::label(const QString& text) const {
    auto it = m_labels.constFind(text);
    if (it == m_labels.constEnd()) {
        if (m_labels.size() > 1000) // labels of scales and years long gone
            m_labels.clear();
        QStaticText laidOut(text);
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.prepare(QTransform(), font());
        it = m_labels.insert(text, laidOut);
    }
    return *it;
}

void ChartView::drawLabel(QPainter& painter, const QRectF& box, Qt::Alignment alignment, const QString& text) const {
    const QStaticText& laidOut = label(text);
    const QSizeF size = laidOut.size();
    const double x = alignment & Qt::AlignRight     ? box.right() - size.width()
                     : alignment & Qt::AlignHCenter ? box.center().x() - size.width() / 2
                                                    : box.left();
    painter.drawStaticText(QPointF(x, box.center().y() - size.height() / 2), laidOut);
}

void ChartView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        m_labels.clear();
}

void ChartView::keyPressEvent(QKeyEvent* event) {
    const int n = count();
    int to = m_current;
    switch (event->key()) {
    case Qt::Key_Left:
        to = m_current - 1;
        break;
    case Qt::Key_Right:
        to = m_current + 1;
        break;
    case Qt::Key_PageUp:
        to = m_current - 12;
        break;
    case Qt::Key_PageDown:
        to = m_current + 12;
        break;
    case Qt::Key_Home:
        to = 0;
        break;
    case Qt::Key_End:
        to = n - 1;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    setCurrent(std::clamp(to, 0, std::max(n - 1, 0)));
}

void ChartView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::LeftButton)
        if (const int month = monthAt(event->position().toPoint()); month >= 0)
            setCurrent(month);
}

void ChartView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void ChartView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}
