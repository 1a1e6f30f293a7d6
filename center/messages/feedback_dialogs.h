// The user's feedback: the list of what they sent with the maker's replies, and the dialog that
// sends a new one. Sending runs off the window thread, since the service may take minutes to
// answer; when it fails, the text the user wrote stays in the dialog.
#pragma once

#include <QDialog>
#include <thread>

#include "center/messages/local_stores.h"
#include "center/service_calls/center_service.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace Quorvane::Center {

class FeedbackListDialog final : public QDialog {
  Q_OBJECT

 public:
  // New feedback dialogs open over `owner` (the main window).
  FeedbackListDialog(FeedbackStore& store, const CenterService& service,
                     Diagnostics::EventLog& eventLog, QWidget* owner);

  QTreeWidget& List() { return *list_; }
  QLineEdit& Title() { return *title_; }
  QPlainTextEdit& Body() { return *body_; }
  QPlainTextEdit& Reply() { return *reply_; }
  // Opens the new-feedback dialog and fills the list again afterwards (the OK button).
  void WriteNew();

 private:
  void Fill();

  FeedbackStore& store_;
  const CenterService& service_;
  Diagnostics::EventLog& eventLog_;
  QWidget* owner_;
  QTreeWidget* list_;
  QLineEdit* title_;
  QPlainTextEdit* body_;
  QPlainTextEdit* reply_;
};

class NewFeedbackDialog final : public QDialog {
  Q_OBJECT

 public:
  NewFeedbackDialog(FeedbackStore& store, const CenterService& service,
                    Diagnostics::EventLog& eventLog, QWidget* parent);
  // Waits for a registration still under way.
  ~NewFeedbackDialog() override;

  QLineEdit& Title() { return *title_; }
  QPlainTextEdit& Body() { return *body_; }
  QLabel& Sending() { return *sending_; }
  QPushButton& OkButton() { return *ok_; }

 public slots:
  // Not while the feedback is being sent.
  void reject() override;

 private:
  void Send();
  void Registered(bool registered);
  void SetSending(bool sending);

  FeedbackStore& store_;
  const CenterService& service_;
  Diagnostics::EventLog& eventLog_;
  QLineEdit* title_;
  QPlainTextEdit* body_;
  QLabel* sending_;
  QPushButton* ok_;
  QPushButton* cancel_;
  std::thread registration_;
  bool busy_ = false;
};

}  // namespace Quorvane::Center
