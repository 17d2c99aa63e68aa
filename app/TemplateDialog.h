// A dialog whose controls come from a dialog template: it creates each control
// of the table with its id, kind, caption, list and limits, and places it by
// converting dialog units with its own font's metrics.
#pragma once

#include <QDialog>
#include <QFont>
#include <QHash>

#include "app/DialogUnits.h"
#include "resources/DialogTemplates.h"

class TemplateDialog : public QDialog {
  Q_OBJECT

 public:
  TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent);

  // The control with `id` as type T, or nullptr when there is none of that type.
  template <typename T>
  T* Control(int id) const {
    return qobject_cast<T*>(controls_.value(id));
  }

  const DialogUnits& Units() const { return units_; }

  // The template's font, or a Hangul-capable face in its size where that one
  // is not installed.
  static QFont TemplateFont(const DialogTemplate& dialogTemplate);

 private:
  QWidget* CreateControl(const DialogControl& control);

  DialogUnits units_;
  QHash<int, QWidget*> controls_;
};
