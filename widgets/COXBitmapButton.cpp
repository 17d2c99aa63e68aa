#include "widgets/COXBitmapButton.h"

#include "resources/Resources.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>

namespace {

// Room around the picture and the caption: the picture sits kImageMargin in
// from the left edge, the caption ends kTextMarginX before the right one.
constexpr int kImageMargin = 5;
constexpr int kTextMarginX = 7;
constexpr int kTextMarginY = 6;
// How far the picture and the caption move while the button is held down.
constexpr QPoint kPressedOffset{2, 2};
constexpr int kTextFlags = Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;

// Pixels of this colour become fully transparent.
QImage WithTransparentColor(QImage picture, const QColor& transparent) {
  const QRgb key = transparent.rgb() & RGB_MASK;
  for (int y = 0; y < picture.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
    std::replace_if(
        line, line + picture.width(), [key](QRgb px) { return (px & RGB_MASK) == key; }, QRgb{0});
  }
  return picture;
}

// The picture's dark pixels (its outlines and strong colours) as an opaque
// black shape; light pixels drop out, as on a disabled toolbar.
QImage DarkShape(const QImage& picture) {
  constexpr int kDarkBelow = 160;
  QImage shape(picture.size(), QImage::Format_ARGB32);
  shape.fill(Qt::transparent);
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const QRgb px = picture.pixel(x, y);
      if (qAlpha(px) != 0 && qGray(px) < kDarkBelow) {
        shape.setPixel(x, y, qRgba(0, 0, 0, 255));
      }
    }
  }
  return shape;
}

QImage Tinted(QImage shape, const QColor& color) {
  QPainter painter(&shape);
  painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
  painter.fillRect(shape.rect(), color);
  painter.end();
  return shape;
}

// The disabled picture: the dark shape embossed (highlight one pixel down and
// right, shadow on top) on the button face, cut to the picture's own outline.
QImage EmbossedPicture(const QImage& picture, const QPalette& palette) {
  const QImage shape = DarkShape(picture);
  QImage embossed(picture.size(), QImage::Format_ARGB32_Premultiplied);
  embossed.fill(palette.color(QPalette::Active, QPalette::Button));
  QPainter painter(&embossed);
  painter.drawImage(1, 1, Tinted(shape, palette.color(QPalette::Active, QPalette::Light)));
  painter.drawImage(0, 0, Tinted(shape, palette.color(QPalette::Active, QPalette::Dark)));
  painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
  painter.drawImage(0, 0, picture);
  painter.end();
  return embossed;
}

}  // namespace

COXBitmapButton::COXBitmapButton(QWidget* parent) : QPushButton(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);  // the face covers every pixel
}

COXBitmapButton::~COXBitmapButton() = default;

bool COXBitmapButton::SetButtonBitmap(int resourceId, bool resize,
                                      std::optional<QColor> transparent) {
  normalPicture_ = QPixmap();
  disabledPicture_ = QPixmap();
  update();
  const QString path = ResourcePath(resourceId);
  QImage picture = path.isEmpty() ? QImage() : QImage(path);
  if (picture.isNull()) {
    return false;
  }
  picture = picture.convertToFormat(QImage::Format_ARGB32);
  if (transparent) {
    picture = WithTransparentColor(std::move(picture), *transparent);
  }
  normalPicture_ = QPixmap::fromImage(picture);
  disabledPicture_ = QPixmap::fromImage(EmbossedPicture(picture, palette()));
  if (resize) {
    this->resize(sizeHint());
  }
  return true;
}

bool COXBitmapButton::EnableButton(bool enable) {
  const bool wasDisabled = !isEnabled();
  setEnabled(enable);
  return wasDisabled;
}

QString COXBitmapButton::Caption() const {
  return text().section(QLatin1Char('\n'), 0, 0);
}

QSize COXBitmapButton::PictureSize() const {
  return normalPicture_.isNull() ? QSize() : normalPicture_.deviceIndependentSize().toSize();
}

QSize COXBitmapButton::sizeHint() const {
  if (!HasPictures()) {
    return QPushButton::sizeHint();
  }
  const QSize picture = PictureSize();
  const QFontMetrics metrics = fontMetrics();
  return {picture.width() + 2 * kImageMargin + metrics.horizontalAdvance(Caption()) + kTextMarginX,
          std::max(picture.height() + 2 * kImageMargin, metrics.height() + 2 * kTextMarginY)};
}

COXBitmapButton::Layout COXBitmapButton::LayoutButton(bool pressed) const {
  const int w = width();
  const int h = height();
  const int textHeight = fontMetrics().height();
  const bool hasCaption = !Caption().isEmpty();
  QSize picture = PictureSize();
  Layout layout;
  if (picture.isEmpty() && hasCaption) {
    // No picture: the caption takes the whole face less its margins.
    const QRect area = rect().adjusted(kTextMarginX, kTextMarginY, -kTextMarginX, -kTextMarginY);
    if (area.isValid()) {
      const int th = std::min(textHeight, area.height());
      layout.caption = QRect(area.left(), (h - th) / 2, area.width(), th);
    }
  } else if (!picture.isEmpty() && !hasCaption) {
    layout.picture = QRect(QPoint((w - picture.width()) / 2, (h - picture.height()) / 2), picture);
  } else if (!picture.isEmpty()) {
    // The caption's area is the face less the text margins and less the
    // picture's column on the left.
    int iw = picture.width();
    int ih = picture.height();
    const int areaWidth = w - 2 * kTextMarginX - (iw + 2 * kImageMargin - kTextMarginX);
    const int areaHeight = h - 2 * kTextMarginY;
    const bool areaEmpty = areaWidth < 0 || areaHeight < 0;
    int tw = areaEmpty ? 0 : areaWidth;
    int th = areaEmpty ? 0 : std::min(textHeight, areaHeight);
    // Boxes: the picture with its margin all round, the caption with its
    // right and vertical margins; shrunk to what the button can hold.
    int pictureBoxW = iw + 2 * kImageMargin;
    int pictureBoxH = ih + 2 * kImageMargin;
    int captionBoxW = tw + kTextMarginX;
    int captionBoxH = th + 2 * kTextMarginY;
    if (captionBoxW > w) {
      captionBoxW = w;
      tw = std::max(0, w - kTextMarginX);
    }
    if (captionBoxH > h) {
      captionBoxH = h;
      th = std::max(0, h - 2 * kTextMarginY);
    }
    if (pictureBoxW > w - captionBoxW) {
      pictureBoxW = w - captionBoxW;
      iw = std::max(0, pictureBoxW - 2 * kImageMargin);
    }
    if (pictureBoxH > h) {
      pictureBoxH = h;
      ih = std::max(0, h - 2 * kImageMargin);
    }
    if (iw == 0) {
      tw = std::max(0, captionBoxW - 2 * kTextMarginX);
    }
    if (iw > 0 && ih > 0) {
      layout.picture = QRect(kImageMargin, (h - pictureBoxH) / 2 + kImageMargin, iw, ih);
    }
    if (tw > 0 && th > 0) {
      layout.caption = QRect(pictureBoxW, (h - captionBoxH) / 2 + kTextMarginY, tw, th);
    }
  }
  if (pressed) {
    for (QRect* part : {&layout.picture, &layout.caption}) {
      if (!part->isEmpty()) {
        part->translate(kPressedOffset);
      }
    }
  }
  return layout;
}

void COXBitmapButton::paintEvent(QPaintEvent*) {
  const bool pressed = isDown();
  const bool focused = hasFocus();
  const bool disabled = !isEnabled();
  const QRect item = rect();
  const Layout layout = LayoutButton(pressed);
  // Composed off screen and copied in one go, so the face never flickers
  // while the window enables and disables its buttons around an operation.
  const qreal ratio = devicePixelRatioF();
  QPixmap frame(item.size() * ratio);
  frame.setDevicePixelRatio(ratio);
  {
    QPainter painter(&frame);
    painter.setFont(font());
    DrawButtonFace(painter, item, pressed, focused, disabled);
    DrawButtonImage(painter, layout.picture, disabled);
    DrawButtonText(painter, layout.caption, Caption(), disabled);
    if (focused) {
      DrawButtonFocus(painter, item, pressed);
    }
  }
  QPainter(this).drawPixmap(0, 0, frame);
}

void COXBitmapButton::DrawButtonFace(QPainter& painter, const QRect& rect, bool pressed,
                                     bool focused, bool disabled) {
  painter.fillRect(rect, palette().color(QPalette::Active, QPalette::Window));
  QStyleOptionButton option;
  option.initFrom(this);
  option.rect = rect;
  // Focus and hover are shown by this button's own frames, not the style's.
  option.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver | QStyle::State_Enabled);
  if (pressed) {
    option.state |= QStyle::State_Enabled | QStyle::State_Sunken;
  } else if (disabled) {
    option.state |= QStyle::State_Raised;
  } else {
    option.state |= QStyle::State_Enabled | QStyle::State_Raised;
    if (focused) {
      option.rect.adjust(1, 1, -1, -1);  // leaves room for the black focus frame
    }
  }
  style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, this);
}

void COXBitmapButton::DrawButtonImage(QPainter& painter, const QRect& rect, bool disabled) {
  const QPixmap& picture = disabled ? disabledPicture_ : normalPicture_;
  if (picture.isNull() || rect.isEmpty()) {
    return;
  }
  painter.drawPixmap(rect.topLeft(), picture);
}

void COXBitmapButton::DrawButtonText(QPainter& painter, const QRect& rect, const QString& caption,
                                     bool disabled) {
  if (caption.isEmpty() || rect.isEmpty()) {
    return;
  }
  if (disabled) {
    // Embossed like the disabled picture.
    painter.setPen(palette().color(QPalette::Active, QPalette::Light));
    painter.drawText(rect.translated(1, 1), kTextFlags, caption);
    painter.setPen(palette().color(QPalette::Active, QPalette::Dark));
  } else {
    painter.setPen(textColor_);
  }
  painter.drawText(rect, kTextFlags, caption);
}

void COXBitmapButton::DrawButtonFocus(QPainter& painter, const QRect& rect, bool pressed) {
  painter.setBrush(Qt::NoBrush);
  QPen dotted(textColor_, 1);
  dotted.setDashPattern({1.0, 1.0});
  painter.setPen(dotted);
  // A 1-pixel outline along the edge pixels of `inner` (QRect's right() is inclusive).
  const auto outline = [&painter](const QRect& inner) {
    painter.drawRect(inner.adjusted(0, 0, -1, -1));
  };
  outline(rect.adjusted(4, 4, -4, -4));
  painter.setPen(QPen(Qt::black, 1));
  outline(rect);
  if (pressed) {
    painter.setPen(QPen(palette().color(QPalette::Active, QPalette::Dark), 1));
    outline(rect.adjusted(1, 1, -1, -1));
  }
}
