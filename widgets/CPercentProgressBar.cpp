#include "widgets/CPercentProgressBar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <limits>

namespace {

// Truncation toward zero that saturates instead of overflowing: a position far
// outside the range must give a huge number, never undefined behaviour.
int32_t TruncateSaturated(double value) {
  constexpr double kMin = std::numeric_limits<int32_t>::min();
  constexpr double kMax = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp(value, kMin, kMax));
}

}  // namespace

CPercentProgressBar::CPercentProgressBar(QWidget* parent)
    : QProgressBar(parent),
      barColor_(palette().color(QPalette::Active, QPalette::Highlight)),
      bkColor_(palette().color(QPalette::Active, QPalette::Base)),
      textColorOverBk_(barColor_),
      textColorOverBar_(bkColor_) {
  // Every paint covers the whole control, so the toolkit need not erase it
  // first; that erase is what would make the bar flicker while it steps.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

CPercentProgressBar::~CPercentProgressBar() = default;

void CPercentProgressBar::SetBarRange(int32_t lower, int32_t upper) {
  lower_ = lower;
  upper_ = upper;
  ReportToBase();
}

int32_t CPercentProgressBar::SetBarPos(int32_t position) {
  const int32_t old = position_;
  position_ = position;
  ReportToBase();
  const int32_t barWidth = BarWidth(width());
  if (barWidth != lastBarWidth_) {
    lastBarWidth_ = barWidth;
    repaint();  // at once: the long procedures step the bar without returning to the event loop
  }
  return old;
}

int32_t CPercentProgressBar::StepBar() {
  const int64_t next = int64_t{position_} + step_;
  return SetBarPos(static_cast<int32_t>(std::clamp<int64_t>(
      next, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())));
}

void CPercentProgressBar::ReportToBase() {
  // QProgressBar repaints on its own rules when its range or value changes;
  // this control repaints only when the bar's width changes, so the base's
  // updates are shut off while it takes the new figures. Setting the
  // attribute directly, unlike setUpdatesEnabled(true), schedules no paint.
  const bool updatesWereDisabled = testAttribute(Qt::WA_UpdatesDisabled);
  setAttribute(Qt::WA_UpdatesDisabled, true);
  // The base holds no inverted range, nor a value outside its range: it gets
  // the position as the bar draws it, all or nothing past either end.
  setRange(lower_, std::max(lower_, upper_));
  setValue(std::clamp(position_, minimum(), maximum()));
  setAttribute(Qt::WA_UpdatesDisabled, updatesWereDisabled);
}

void CPercentProgressBar::SetBarStep(int32_t step) {
  step_ = step;
}

void CPercentProgressBar::SetText(const QString& text) {
  if (text == customText_) {
    return;
  }
  customText_ = text;
  update();
}

QString CPercentProgressBar::DisplayText() const {
  if (!customText_.isEmpty()) {
    return customText_;
  }
  return QStringLiteral("%1%").arg(TruncateSaturated(Fraction() * 100.0));
}

double CPercentProgressBar::Fraction() const {
  if (lower_ >= upper_) {
    return 0.0;
  }
  return (static_cast<double>(position_) - lower_) / (static_cast<double>(upper_) - lower_);
}

int32_t CPercentProgressBar::BarWidth(int width) const {
  return TruncateSaturated(Fraction() * width);
}

void CPercentProgressBar::resizeEvent(QResizeEvent* event) {
  QProgressBar::resizeEvent(event);
  lastBarWidth_ = -1;  // the next SetBarPos repaints whatever width it computes
}

void CPercentProgressBar::paintEvent(QPaintEvent* event) {
  if (lower_ >= upper_) {
    return;  // an empty range has nothing to show
  }
  const QRect area = rect();
  const QRect dirty = event->rect();
  const qreal ratio = devicePixelRatioF();
  QPixmap frame(dirty.size() * ratio);
  frame.setDevicePixelRatio(ratio);
  {
    QPainter painter(&frame);
    painter.translate(-dirty.topLeft());
    painter.setFont(font());
    // A position past either end of the range fills all or nothing.
    const int barWidth = std::clamp<int32_t>(BarWidth(area.width()), 0, area.width());
    const QRect bar(area.left(), area.top(), barWidth, area.height());
    const QRect rest(area.left() + barWidth, area.top(), area.width() - barWidth, area.height());
    painter.fillRect(bar, barColor_);
    painter.fillRect(rest, bkColor_);
    if (showText_) {
      // The same text twice, each clipped to one side of the bar's edge, so
      // it stays readable in the other side's colour wherever the edge cuts it.
      const QString text = DisplayText();
      constexpr int kFlags = Qt::AlignCenter | Qt::TextSingleLine;
      painter.setClipRect(bar);
      painter.setPen(textColorOverBar_);
      painter.drawText(area, kFlags, text);
      painter.setClipRect(rest);
      painter.setPen(textColorOverBk_);
      painter.drawText(area, kFlags, text);
    }
  }
  QPainter(this).drawPixmap(dirty.topLeft(), frame);
}
