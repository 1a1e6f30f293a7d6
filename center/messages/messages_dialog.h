// The maker's messages: a list of titles with their dates, and the body of the one clicked.
#pragma once

#include <QDialog>

#include "center/messages/local_stores.h"

class QPlainTextEdit;
class QTreeWidget;

namespace Quorvane::Center {

class MessagesDialog final : public QDialog {
  Q_OBJECT

 public:
  MessagesDialog(MessageStore& store, QWidget* parent);

  QTreeWidget& List() { return *list_; }
  QPlainTextEdit& Body() { return *body_; }

 private:
  MessageStore& store_;
  QTreeWidget* list_;
  QPlainTextEdit* body_;
};

// A list with fixed columns of these titles and widths, whole lines selected.
QTreeWidget* FixedColumnList(const QStringList& titles, const QList<int>& widths);

}  // namespace Quorvane::Center
