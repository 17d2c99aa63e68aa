#include "widgets/CPercentProgressBar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

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
  figures_.SetRange(lower, upper);
  ReportToBase();
}

int32_t CPercentProgressBar::SetBarPos(int32_t position) {
  const int32_t old = figures_.SetPos(position);
  ReportToBase();
  const int32_t barWidth = figures_.BarWidth(width());
  if (barWidth != lastBarWidth_) {
    lastBarWidth_ = barWidth;
    repaint();  // at once: the long procedures step the bar without returning to the event loop
  }
  return old;
}

int32_t CPercentProgressBar::StepBar() {
  PercentBar next = figures_;
  next.Step();
  return SetBarPos(next.position());
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
  setRange(figures_.lower(), std::max(figures_.lower(), figures_.upper()));
  setValue(std::clamp(figures_.position(), minimum(), maximum()));
  setAttribute(Qt::WA_UpdatesDisabled, updatesWereDisabled);
}

void CPercentProgressBar::SetBarStep(int32_t step) {
  figures_.SetStep(step);
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
  return QString::fromStdString(figures_.PercentText());
}

void CPercentProgressBar::resizeEvent(QResizeEvent* event) {
  QProgressBar::resizeEvent(event);
  lastBarWidth_ = -1;  // the next SetBarPos repaints whatever width it computes
}

void CPercentProgressBar::paintEvent(QPaintEvent* event) {
  if (figures_.empty()) {
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
    const int barWidth = std::clamp<int32_t>(figures_.BarWidth(area.width()), 0, area.width());
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
