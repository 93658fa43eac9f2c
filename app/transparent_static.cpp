#include "app/transparent_static.h"

namespace bm::app {

CTransparentStatic::CTransparentStatic(QWidget* parent) : QLabel(parent) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAutoFillBackground(false);
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, Qt::black);
  setPalette(colours);
}

void CTransparentStatic::SetText(const QString& text) {
  setText(text);
  if (QWidget* parent = parentWidget()) {
    parent->update(geometry());
  }
}

}  // namespace bm::app
