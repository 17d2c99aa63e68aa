// Owner-drawn push button with a 16 x 16 picture left of its caption: pressed,
// focused and disabled (embossed) looks, drawn off screen in one copy.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QPushButton>
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>

class COXBitmapButton : public QPushButton {
  Q_OBJECT

 public:
  explicit COXBitmapButton(QWidget* parent = nullptr);
  ~COXBitmapButton() override;

  // Loads bitmap resource `resourceId` (130..136) and builds the normal and
  // the disabled picture, the latter embossed on the button-face colour of
  // this moment; `transparent` is the mask colour, or nullopt for none. With
  // `resize` the button takes its content's size. False when the resource is
  // missing or unreadable; the button then has no pictures.
  bool SetButtonBitmap(int resourceId, bool resize, std::optional<QColor> transparent);
  // Enables or disables the button; true when it was disabled before.
  bool EnableButton(bool enable);

  struct Layout {
    QRect picture;
    QRect caption;
  };
  // Where the picture and the caption go for a button of the current size.
  Layout LayoutButton(bool pressed) const;
  // The part of the window text that is drawn: up to the first line feed.
  QString Caption() const;
  bool HasPictures() const { return !normalPicture_.isNull(); }
  const QPixmap& NormalPicture() const { return normalPicture_; }
  const QPixmap& DisabledPicture() const { return disabledPicture_; }

  // Picture, caption and their margins.
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

  // The drawing steps, each replaceable on its own.
  virtual void DrawButtonFace(QPainter& painter, const QRect& rect, bool pressed, bool focused,
                              bool disabled);
  virtual void DrawButtonImage(QPainter& painter, const QRect& rect, bool disabled);
  virtual void DrawButtonText(QPainter& painter, const QRect& rect, const QString& caption,
                              bool disabled);
  virtual void DrawButtonFocus(QPainter& painter, const QRect& rect, bool pressed);

 private:
  QSize PictureSize() const;

  QPixmap normalPicture_;
  QPixmap disabledPicture_;
  QColor textColor_{0, 0, 0};
};
