#include "resources/Resources.h"

QString ResourcePath(int id) {
  if (id == kIconProgram) {
    return QStringLiteral(":/icons/128.png");
  }
  if (id >= kBitmapLoad && id <= kBitmapExit) {
    return QStringLiteral(":/bitmaps/%1.bmp").arg(id);
  }
  return {};
}

QIcon ProgramIcon() {
  QIcon icon;
  for (const char* file : {":/icons/128-16.png", ":/icons/128.png", ":/icons/128-64.png"}) {
    icon.addFile(QString::fromLatin1(file));
  }
  return icon;
}
