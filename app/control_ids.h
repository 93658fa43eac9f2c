// Widgets carry the numeric ids of their controls so workers and tests find them by id.
#pragma once

#include <QWidget>

namespace bm::app {

inline constexpr const char* kControlIdProperty = "controlId";

inline void SetControlId(QWidget* widget, int id) {
  widget->setProperty(kControlIdProperty, id);
  widget->setObjectName(QStringLiteral("control%1").arg(id));
}

// The child of `root` with control id `id`, or null.
inline QWidget* FindControl(const QWidget* root, int id) {
  return root->findChild<QWidget*>(QStringLiteral("control%1").arg(id));
}

}  // namespace bm::app
