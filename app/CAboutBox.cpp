#include "app/CAboutBox.h"

#include <QPushButton>

CAboutBox::CAboutBox(QWidget* parent) : TemplateDialog(kAboutBoxTemplate, parent) {
  connect(Control<QPushButton>(ID_OK), &QPushButton::clicked, this, &QDialog::accept);
}
