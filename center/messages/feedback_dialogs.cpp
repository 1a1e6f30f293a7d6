#include "center/messages/feedback_dialogs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "center/messages/contact_links.h"
#include "center/messages/message_lists.h"
#include "center/messages/messages_dialog.h"
#include "common/diagnostics/user_notifier.h"

namespace Quorvane::Center {
namespace {

QPlainTextEdit* ReadOnlyText() {
  auto* text = new QPlainTextEdit;
  text->setReadOnly(true);
  text->setTabChangesFocus(true);
  return text;
}

QString Caption(std::string_view caption) {
  return QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
}

}  // namespace

FeedbackListDialog::FeedbackListDialog(FeedbackStore& store, const CenterService& service,
                                       Diagnostics::EventLog& eventLog, QWidget* owner)
    : QDialog(owner),
      store_(store),
      service_(service),
      eventLog_(eventLog),
      owner_(owner),
      list_(FixedColumnList(
          {QStringLiteral("Title"), QStringLiteral("Created"), QStringLiteral("Has Response")},
          {450, 150, 100})),
      title_(new QLineEdit),
      body_(ReadOnlyText()),
      reply_(ReadOnlyText()) {
  setObjectName(QStringLiteral("FeedbackListDialog"));
  setWindowTitle(QStringLiteral("Your Feedback"));
  title_->setReadOnly(true);
  Fill();
  // The current line, whether the pointer or the arrow keys chose it, shows its feedback.
  connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    const int index = list_->indexOfTopLevelItem(item);
    if (const auto details =
            index >= 0 ? FeedbackAt(store_, static_cast<std::size_t>(index)) : std::nullopt) {
      title_->setText(QString::fromStdString(details->title));
      body_->setPlainText(QString::fromStdString(details->body));
      reply_->setPlainText(QString::fromStdString(details->reply));
    }
  });

  auto* details = new QFormLayout;
  list_->setAccessibleName(QStringLiteral("Your feedback"));
  details->addRow(QStringLiteral("Title:"), title_);
  details->addRow(QStringLiteral("Feedback:"), body_);
  details->addRow(QStringLiteral("Reply:"), reply_);

  auto* buttons = new QDialogButtonBox;
  buttons->addButton(QStringLiteral("New Feedback..."), QDialogButtonBox::AcceptRole);
  buttons->addButton(QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &FeedbackListDialog::WriteNew);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 2);
  layout->addLayout(details, 3);
  layout->addWidget(ContactLinks(Qt::Horizontal));
  layout->addWidget(buttons);
  resize(740, 560);
}

void FeedbackListDialog::Fill() {
  list_->clear();
  for (const auto& line : FeedbackLines(store_)) {
    new QTreeWidgetItem(list_,
                        {QString::fromStdString(line.title), QString::fromStdString(line.created),
                         QString::fromStdString(line.hasResponse)});
  }
}

void FeedbackListDialog::WriteNew() {
  NewFeedbackDialog dialog(store_, service_, eventLog_, owner_ != nullptr ? owner_ : this);
  dialog.exec();
  Fill();
}

NewFeedbackDialog::NewFeedbackDialog(FeedbackStore& store, const CenterService& service,
                                     Diagnostics::EventLog& eventLog, QWidget* parent)
    : QDialog(parent),
      store_(store),
      service_(service),
      eventLog_(eventLog),
      title_(new QLineEdit),
      body_(new QPlainTextEdit),
      sending_(new QLabel),
      ok_(new QPushButton(QStringLiteral("&Send"))),
      cancel_(new QPushButton(QStringLiteral("Cancel"))) {
  setObjectName(QStringLiteral("NewFeedbackDialog"));
  setWindowTitle(QStringLiteral("New Feedback"));
  title_->setMaxLength(static_cast<int>(kFeedbackTitleLimit));
  // Tab leaves the body for Send and Cancel; a feedback has no use for tab characters.
  body_->setTabChangesFocus(true);
  // The body takes at most its limit of characters, however it was entered.
  connect(body_, &QPlainTextEdit::textChanged, this, [this] {
    const QString text = body_->toPlainText();
    if (text.size() > static_cast<qsizetype>(kFeedbackBodyLimit)) {
      body_->setPlainText(text.left(static_cast<qsizetype>(kFeedbackBodyLimit)));
      body_->moveCursor(QTextCursor::End);
    }
  });

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("&Title:"), title_);
  form->addRow(QStringLiteral("&Feedback:"), body_);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(sending_, 1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &NewFeedbackDialog::Send);
  connect(cancel_, &QPushButton::clicked, this, &NewFeedbackDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(ContactLinks(Qt::Horizontal));
  layout->addLayout(buttons);
  resize(560, 420);
}

NewFeedbackDialog::~NewFeedbackDialog() {
  if (registration_.joinable()) {
    registration_.join();
  }
}

void NewFeedbackDialog::reject() {
  if (!busy_) {
    QDialog::reject();
  }
}

void NewFeedbackDialog::SetSending(bool sending) {
  busy_ = sending;
  sending_->setText(sending ? QStringLiteral("Sending your feedback...") : QString());
  for (QWidget* control : std::initializer_list<QWidget*>{title_, body_, ok_, cancel_}) {
    control->setEnabled(!sending);
  }
}

void NewFeedbackDialog::Send() {
  const std::string title = title_->text().toStdString();
  const std::string body = body_->toPlainText().toStdString();
  if (const auto problem = NewFeedbackProblem(title, body)) {
    QMessageBox::warning(this, Caption(Diagnostics::kWarningCaption),
                         QString::fromStdString(*problem));
    return;
  }
  if (registration_.joinable()) {
    registration_.join();
  }
  SetSending(true);
  QPointer<NewFeedbackDialog> dialog(this);
  registration_ = std::thread([this, dialog, item = MakeFeedback(title, body, LocalNow())] {
    const bool registered = RegisterNewFeedback(store_, service_, eventLog_, item);
    QMetaObject::invokeMethod(
        dialog,
        [dialog, registered] {
          if (dialog) dialog->Registered(registered);
        },
        Qt::QueuedConnection);
  });
}

void NewFeedbackDialog::Registered(bool registered) {
  SetSending(false);
  if (registered) {
    accept();
    return;
  }
  // What the user wrote stays, to be sent again later.
  QMessageBox::critical(this, Caption(Diagnostics::kErrorCaption),
                        QString::fromLatin1(kRegistrationFailed));
}

}  // namespace Quorvane::Center
