// The goal's bar on the main window and the chart button's picture.
#include "widgets/goal_bar.h"

#include "records/month_totals.h"
#include "widgets/controls.h"
#include "widgets/text_convert.h"

#include <QAccessible>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

using namespace Qt::StringLiterals;
using records::Currency;
using records::WideMoney;

namespace {

const QColor kIvory(0xFF, 0xFF, 0xF0);
const QColor kMaroon(0x80, 0x00, 0x00);
const QColor kTrack(0xE4, 0xE0, 0xCC);
const QColor kGrey(0x80, 0x80, 0x80);
constexpr double kBarHeight = 5;

QString Money(Currency amount) {
    return fromUtf8(records::FormatMoney(amount));
}

} // namespace

QString GoalProgressText(std::optional<Currency> goal, Currency total) {
    if (!goal)
        return u"ダブルクリックで目標金額を設定"_s;
    if (total >= *goal)
        return u"目標 %1 達成！"_s.arg(Money(*goal));
    const WideMoney left = WideMoney(goal->tenThousandths()) - total.tenThousandths();
    return u"目標 %1 まで あと %2"_s.arg(Money(*goal), fromUtf8(records::FormatWideMoney(left)));
}

int GoalPercent(Currency goal, Currency total) {
    if (goal <= Currency() || total <= Currency())
        return 0;
    if (total >= goal)
        return 100;
    return static_cast<int>(WideMoney(total.tenThousandths()) * 100 / goal.tenThousandths());
}

GoalBar::GoalBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(true);
    setFocusPolicy(Qt::NoFocus);
    setFont(GothicFont(kProportionalGothic, 9));
    // On the ivory panel, in the button text colour where that reads on ivory (a dark desktop's does not).
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, ReadableOn(colours.color(QPalette::ButtonText), kIvory));
    setPalette(colours);
    setWords(GoalProgressText(std::nullopt, Currency()));
}

void GoalBar::setWords(const QString& words) {
    // The words are the program's own, with amounts: no percent sign for QProgressBar to take as a placeholder.
    setFormat(words);
    setAccessibleDescription(words);
    update();
}

void GoalBar::showGoal(std::optional<Currency> goal, Currency total) {
    m_hasGoal = goal.has_value();
    setValue(goal ? GoalPercent(*goal, total) : 0);
    setWords(GoalProgressText(goal, total));
}

void GoalBar::showUnknown(const QString& why) {
    m_hasGoal = false;
    setValue(0);
    setWords(why);
}

QFont GoalBar::wordsFont() const {
    QFont shown = font();
    const qreal room = width() - 2;
    for (double points = font().pointSizeF(); points > Label::kSmallestPoints; points -= 0.25) {
        shown.setPointSizeF(points);
        if (QFontMetricsF(shown).horizontalAdvance(text()) <= room)
            return shown;
    }
    shown.setPointSizeF(Label::kSmallestPoints);
    return shown;
}

void GoalBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(1, 0, -1, 0);
    const QRectF wordsArea(area.left(), area.top(), area.width(), area.height() - kBarHeight - 1);
    const QFont shown = wordsFont();
    painter.setFont(shown);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(wordsArea, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(shown).elidedText(text(), Qt::ElideRight, static_cast<int>(wordsArea.width())));
    if (!m_hasGoal)
        return;
    const QRectF track(area.left() + 0.5, area.bottom() - kBarHeight + 0.5, area.width() - 1, kBarHeight - 1);
    painter.setPen(QPen(kGrey, 1));
    painter.setBrush(kTrack);
    painter.drawRoundedRect(track, 2, 2);
    if (value() > 0) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(kMaroon);
        painter.drawRoundedRect(QRectF(track.left(), track.top(), track.width() * value() / 100.0, track.height()), 2,
                                2);
    }
}

void GoalBar::mouseDoubleClickEvent(QMouseEvent* event) {
    QProgressBar::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit DblClick();
}

QIcon ChartIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        // Three bars of a month's deposits, a running total rising over them.
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x3A, 0x6E, 0xB5));
        for (const auto& [x, h] : {std::pair{2.0, 4.0}, {6.5, 7.0}, {11.0, 5.0}})
            painter.drawRect(QRectF(x, 15 - h, 3, h));
        painter.setPen(QPen(kMaroon, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        QPainterPath rising;
        rising.moveTo(1.5, 9.5);
        rising.lineTo(6, 7);
        rising.lineTo(10, 4.5);
        rising.lineTo(14.5, 1.5);
        painter.drawPath(rising);
        painter.setPen(QPen(kGrey, 1));
        painter.drawLine(QPointF(0.5, 15.5), QPointF(15.5, 15.5));
        icon.addPixmap(pixmap);
    }
    return icon;
}
