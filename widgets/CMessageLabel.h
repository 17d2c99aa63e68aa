// The window's one-line status display: its own background colour, its text
// centred in another colour, painted straight to the screen.
#pragma once

#include <QColor>
#include <QLabel>
#include <QRect>
#include <QString>

class CMessageLabel : public QLabel {
  Q_OBJECT

 public:
  explicit CMessageLabel(QWidget* parent = nullptr);
  ~CMessageLabel() override;

  // None of these repaints; the caller forces the repaint.
  void SetLabelTextColor(const QColor& color, bool textVisible);
  void SetLabelBkColor(const QColor& color, bool textVisible);
  void SetLabelText(const QString& text);
  // Fixes the drawing rectangle once: the current client rectangle, grown to
  // fit the stored text (filled from the window text when empty). Call it
  // after the label has its final geometry; later texts use the same box.
  void FitLabelToText(bool enable);

  QString LabelText() const { return text_; }
  QColor LabelTextColor() const { return textColor_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor textColor_;
  QColor bkColor_;
  bool textVisible_ = true;
  bool fixedRectInUse_ = false;
  QString text_;
  QRect drawingRect_;
};
