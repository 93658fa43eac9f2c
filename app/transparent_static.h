// The status line: a label drawn straight onto the window background, which repaints the
// background under it whenever its text changes so a shorter text leaves no trace.
#pragma once

#include <QLabel>

namespace bm::app {

class CTransparentStatic : public QLabel {
  Q_OBJECT

 public:
  explicit CTransparentStatic(QWidget* parent = nullptr);

  void SetText(const QString& text);
};

}  // namespace bm::app
