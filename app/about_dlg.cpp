#include "app/about_dlg.h"

#include <QDialogButtonBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/control_ids.h"
#include "app/resources.h"

namespace bm::app {

namespace {
// The picture's size: 350 x 176 dialog units at the dialog font's base units.
constexpr QSize kPictureSize(525, 286);
}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  InitResources();
  setWindowTitle(QStringLiteral("About Brindlemoor"));
  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("aboutPicture"));
  picture->setPixmap(QIcon(QStringLiteral(":/brindlemoor/about.svg")).pixmap(kPictureSize));
  picture->setFixedSize(kPictureSize);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  SetControlId(ok, 1);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 8);
  layout->addWidget(picture);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  setFixedSize(sizeHint());
}

}  // namespace bm::app
