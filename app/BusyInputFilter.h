// Drops what the user does while an operation runs. The window keeps handling
// events then, to repaint and answer the desktop, so input reaches it; held
// back instead, a click on a greyed button or an Escape would act once the
// operation ended, long after the user gave up on it.
#pragma once

#include <QObject>

class BusyInputFilter : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  // While the filter is installed on the application, every click, key,
  // wheel turn, shortcut and close request is swallowed.
  bool eventFilter(QObject* watched, QEvent* event) override;
};
