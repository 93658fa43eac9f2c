// The About box: the product picture over the whole dialog and an OK button.
#pragma once

#include <QDialog>

namespace bm::app {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace bm::app
