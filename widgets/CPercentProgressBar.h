// The progress bar with its percentage drawn over it in inverted colours. It
// keeps its own range, position and step and repaints only when the bar's
// pixel width changes, composing every frame off screen. QProgressBar's
// value() and the accessibility interface follow the position as drawn.
#pragma once

#include <QColor>
#include <QProgressBar>
#include <QString>
#include <cstdint>

#include "dialog/PercentBar.h"

class CPercentProgressBar : public QProgressBar {
  Q_OBJECT

 public:
  explicit CPercentProgressBar(QWidget* parent = nullptr);
  ~CPercentProgressBar() override;

  // Stores the range; no repaint.
  void SetBarRange(int32_t lower, int32_t upper);
  // Both return the previous position. The bar is redrawn at once, but only
  // when its width in pixels changes (or after a resize).
  int32_t SetBarPos(int32_t position);
  int32_t StepBar();
  void SetBarStep(int32_t step);

  // The custom text shown instead of the percentage; empty shows the percentage.
  void SetText(const QString& text);
  QString GetText() const { return customText_; }

  int32_t BarPos() const { return figures_.position(); }
  int32_t BarLower() const { return figures_.lower(); }
  int32_t BarUpper() const { return figures_.upper(); }
  // The text the next paint draws ("50%", or the custom text).
  QString DisplayText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Hands the range and position to QProgressBar without a repaint.
  void ReportToBase();

  PercentBar figures_;
  QString customText_;
  bool showText_ = true;
  int32_t lastBarWidth_ = -1;
  QColor barColor_;
  QColor bkColor_;
  QColor textColorOverBk_;
  QColor textColorOverBar_;
};
