// The About box (template 100): the program icon, its name and version, and
// a button that closes it.
#pragma once

#include "app/TemplateDialog.h"

class CAboutBox : public TemplateDialog {
  Q_OBJECT

 public:
  explicit CAboutBox(QWidget* parent = nullptr);
};
