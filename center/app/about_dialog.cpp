#include "center/app/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "center/app/center_resources.h"
#include "center/app/center_texts.h"
#include "center/messages/contact_links.h"

namespace Quorvane::Center {

AboutDialog::AboutDialog(const Platform::FileVersion& version, QWidget* parent) : QDialog(parent) {
  EnsureCenterResources();
  setObjectName(QStringLiteral("AboutDialog"));
  setWindowTitle(QStringLiteral("About Kestrane"));
  auto* picture = new QLabel;
  picture->setPixmap(QIcon(QStringLiteral(":/icons/kestrane.svg")).pixmap(64, 64));
  picture->setAlignment(Qt::AlignTop);
  auto* name = new QLabel(QString::fromStdString(AboutText(version)));
  name->setObjectName(QStringLiteral("AboutText"));
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);

  auto* texts = new QVBoxLayout;
  texts->addWidget(name);
  texts->addWidget(
      new QLabel(QStringLiteral("The center for Quorvane sim-racing pedal controllers.")));
  texts->addSpacing(8);
  texts->addWidget(ContactLinks());
  texts->addStretch(1);

  auto* top = new QHBoxLayout;
  top->addWidget(picture);
  top->addSpacing(12);
  top->addLayout(texts, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(buttons);
}

}  // namespace Quorvane::Center
