// Widgets carry the numeric ids of their controls so workers and tests find them by id.
#pragma once

#include <QWidget>

namespace bm::app {

// Controls and commands the desktop program has beyond those the engine knows.
namespace app_control {
inline constexpr int kOpenDestinationButton = 1018;
}  // namespace app_control
namespace app_command {
inline constexpr int kOpenDestination = 32777;
inline constexpr int kConversionJobs = 32778;
}  // namespace app_command

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
