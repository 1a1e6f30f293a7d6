#include "center/messages/messages_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "center/messages/contact_links.h"
#include "center/messages/message_lists.h"

namespace Quorvane::Center {

QTreeWidget* FixedColumnList(const QStringList& titles, const QList<int>& widths) {
  auto* list = new QTreeWidget;
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setAllColumnsShowFocus(true);
  list->setHeaderLabels(titles);
  QHeaderView* header = list->header();
  header->setStretchLastSection(false);
  header->setSectionsMovable(false);
  int total = 0;
  for (int column = 0; column < widths.size(); ++column) {
    header->setSectionResizeMode(column, QHeaderView::Fixed);
    header->resizeSection(column, widths[column]);
    total += widths[column];
  }
  list->setMinimumWidth(total + 4);
  return list;
}

MessagesDialog::MessagesDialog(MessageStore& store, QWidget* parent)
    : QDialog(parent),
      store_(store),
      list_(FixedColumnList({QStringLiteral("Title"), QStringLiteral("Last Updated")}, {550, 150})),
      body_(new QPlainTextEdit) {
  setObjectName(QStringLiteral("MessagesDialog"));
  setWindowTitle(QStringLiteral("From Quorvane"));
  body_->setReadOnly(true);
  body_->setTabChangesFocus(true);
  list_->setAccessibleName(QStringLiteral("Messages"));
  body_->setAccessibleName(QStringLiteral("Message"));

  // The lines as the store holds them now; they are not refreshed while the dialog is open.
  for (const auto& line : MessageLines(store_)) {
    new QTreeWidgetItem(
        list_, {QString::fromStdString(line.title), QString::fromStdString(line.lastUpdated)});
  }
  // The current line, whether the pointer or the arrow keys chose it, shows its message.
  connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    const int index = list_->indexOfTopLevelItem(item);
    if (const auto body =
            index >= 0 ? MessageBodyAt(store_, static_cast<std::size_t>(index)) : std::nullopt) {
      body_->setPlainText(QString::fromStdString(*body));
    }
  });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  // OK leaves the dialog open; Cancel closes it.
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 2);
  layout->addWidget(body_, 3);
  layout->addWidget(ContactLinks(Qt::Horizontal));
  layout->addWidget(buttons);
  resize(740, 520);
}

}  // namespace Quorvane::Center
