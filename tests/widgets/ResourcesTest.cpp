#include "resources/ResourceIds.h"
#include "resources/Resources.h"
#include "resources/Strings.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QtEndian>

namespace {

TEST(Resources, ButtonBitmapsAreSixteenColourSixteenPixelSquares) {
  for (int id = kBitmapLoad; id <= kBitmapExit; ++id) {
    QFile file(ResourcePath(id));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << id;
    const QByteArray bytes = file.readAll();
    ASSERT_GE(bytes.size(), 54 + 16 * 4) << id;
    const auto field32 = [&bytes](int offset) {
      return qFromLittleEndian<qint32>(bytes.constData() + offset);
    };
    EXPECT_EQ(bytes.left(2), "BM") << id;
    EXPECT_EQ(field32(18), 16) << id;                                        // width
    EXPECT_EQ(field32(22), 16) << id;                                        // height
    EXPECT_EQ(qFromLittleEndian<quint16>(bytes.constData() + 28), 4) << id;  // bits per pixel
    EXPECT_EQ(field32(46), 16) << id;                                        // colours

    const QImage image(ResourcePath(id));
    ASSERT_EQ(image.size(), QSize(16, 16)) << id;
    int white = 0;
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        white += image.pixel(x, y) == qRgb(255, 255, 255);
      }
    }
    EXPECT_GT(white, 0) << id << " has a transparent background";
    EXPECT_LT(white, 256 - 16) << id << " has a picture";
  }
}

TEST(Resources, ProgramIconComesInSeveralSizes) {
  const QImage icon(ResourcePath(kIconProgram));
  ASSERT_EQ(icon.size(), QSize(32, 32));
  EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
  const QList<QSize> sizes = ProgramIcon().availableSizes();
  for (const QSize size : {QSize(16, 16), QSize(32, 32), QSize(64, 64)}) {
    EXPECT_TRUE(sizes.contains(size)) << size.width();
  }
}

TEST(Resources, UnknownIdsNameNothing) {
  for (const int id : {kStringAboutBox, 127, 129, 137}) {
    EXPECT_TRUE(ResourcePath(id).isEmpty()) << id;
  }
  EXPECT_EQ(ResourceString(kStringAboutBox), "Brontaflex \uC815\uBCF4(&A)...");
  EXPECT_TRUE(ResourceString(kIconProgram).empty());
}

}  // namespace
