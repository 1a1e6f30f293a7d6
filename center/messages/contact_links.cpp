#include "center/messages/contact_links.h"

#include <QBoxLayout>
#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

namespace Quorvane::Center {
namespace {

QLabel* Link(const QString& url, const QString& text) {
  auto* label = new QLabel(
      QStringLiteral("<a href=\"%1\">%2</a>").arg(url.toHtmlEscaped(), text.toHtmlEscaped()));
  label->setObjectName(text);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  QObject::connect(label, &QLabel::linkActivated, label,
                   [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
  return label;
}

}  // namespace

QWidget* ContactLinks(Qt::Orientation orientation) {
  auto* links = new QWidget;
  auto* layout = new QBoxLayout(
      orientation == Qt::Vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight, links);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Link(QString::fromLatin1(kWebSiteLink), QString::fromLatin1(kWebSiteLink)));
  for (const char* address : {kSupportAddress, kContactAddress}) {
    layout->addWidget(Link(QStringLiteral("mailto:") + QString::fromLatin1(address),
                           QString::fromLatin1(address)));
  }
  if (orientation == Qt::Horizontal) {
    layout->addStretch(1);
  }
  return links;
}

}  // namespace Quorvane::Center
