#include "widgets/CMessageLabel.h"

#include <QFontMetrics>
#include <QPainter>

CMessageLabel::CMessageLabel(QWidget* parent)
    : QLabel(parent),
      textColor_(palette().color(QPalette::Active, QPalette::WindowText)),
      bkColor_(palette().color(QPalette::Active, QPalette::Base)) {}

CMessageLabel::~CMessageLabel() = default;

void CMessageLabel::SetLabelTextColor(const QColor& color, bool textVisible) {
  textColor_ = color;
  textVisible_ = textVisible;
}

void CMessageLabel::SetLabelBkColor(const QColor& color, bool textVisible) {
  bkColor_ = color;
  textVisible_ = textVisible;
}

void CMessageLabel::SetLabelText(const QString& text) {
  text_ = text;
  // The label paints its own text; a screen reader reads this one.
  setAccessibleName(text);
}

void CMessageLabel::FitLabelToText(bool enable) {
  if (!enable) {
    return;
  }
  fixedRectInUse_ = true;
  const QFontMetrics metrics = fontMetrics();
  const int charWidth = metrics.horizontalAdvance(QLatin1Char('A'));
  drawingRect_ = rect();
  if (drawingRect_.height() < metrics.height()) {
    drawingRect_.setHeight(metrics.height());
  }
  if (text_.isEmpty()) {
    text_ = text();
  }
  // A rough fit: one 'A' per byte of the text, as wide as the text could get.
  const qsizetype wanted = charWidth * text_.toUtf8().size();
  if (drawingRect_.width() < wanted) {
    drawingRect_.setWidth(static_cast<int>(wanted));
  }
}

void CMessageLabel::paintEvent(QPaintEvent*) {
  const QRect area = fixedRectInUse_ ? drawingRect_ : rect();
  // An empty message falls back to the window text ("Message" in the window).
  if (text_.isEmpty()) {
    text_ = text();
  }
  QPainter painter(this);
  painter.fillRect(area, bkColor_);
  if (!textVisible_) {
    return;
  }
  painter.setClipRect(area);
  painter.setPen(textColor_);
  // drawText clips to the inset box, so a long text is cut on both sides.
  painter.drawText(area.adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextSingleLine, text_);
}
