// The messages and feedback dialogs on Qt's offscreen platform, over real stores and the stand-in
// service: what the lists show, what a click shows, and what happens to a new feedback.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "center/messages/feedback_dialogs.h"
#include "center/messages/message_lists.h"
#include "center/messages/message_workers.h"
#include "center/messages/messages_dialog.h"
#include "tests/support/local_service.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Center;

class Dialogs : public testing::Test {
 protected:
  Dialogs() {
    Testing::CopySampleServiceData(data_.Path());
    messages_.path = folder_.File(kMessagesFileName);
    feedback_.path = folder_.File(kFeedbackFileName);
    feedback_.userId = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
  }
  // Clicks OK in the new-feedback dialog and waits for the sending to end; the texts of the
  // message boxes it showed.
  std::vector<std::string> Send(NewFeedbackDialog& dialog) {
    auto boxes = std::make_shared<std::vector<std::string>>();
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [boxes] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        boxes->push_back(box->windowTitle().toStdString() + ": " + box->text().toStdString());
        box->accept();
      }
    });
    watcher.start(20);
    QTest::mouseClick(&dialog.OkButton(), Qt::LeftButton);
    for (int wait = 0;
         wait < 500 && (dialog.Sending().text().size() > 0 || !dialog.OkButton().isEnabled());
         ++wait) {
      QTest::qWait(20);
    }
    QTest::qWait(100);
    return *boxes;
  }

  Testing::TempFolder data_;
  Testing::TempFolder folder_;
  Testing::LocalServiceProcess service_{data_.Path()};
  CenterService center_{service_.Endpoint()};
  MessageStore messages_;
  FeedbackStore feedback_;
  Diagnostics::RecordingEventLog log_;
};

TEST_F(Dialogs, TheMessagesListShowsTheStoreAndAClickShowsTheBody) {
  ASSERT_TRUE(MessageFetchPass(messages_, center_, log_));
  MessagesDialog dialog(messages_, nullptr);
  QTreeWidget& list = dialog.List();
  ASSERT_EQ(list.topLevelItemCount(), static_cast<int>(messages_.items.size()));
  EXPECT_EQ(list.topLevelItem(0)->text(0).toStdString(), messages_.items[0].title);
  EXPECT_EQ(list.topLevelItem(0)->text(1).toStdString(),
            Service::FormatTimeStamp(messages_.items[0].created));
  dialog.show();
  const QRect line = list.visualItemRect(list.topLevelItem(0));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, line.center());
  EXPECT_EQ(dialog.Body().toPlainText().toStdString(), messages_.items[0].body);
}

TEST_F(Dialogs, HasResponseTurnsYesOnceAReplyArrived) {
  Service::FeedbackItem sent = MakeFeedback("Squeaky pedal", "It squeaks", LocalNow());
  ASSERT_TRUE(RegisterNewFeedback(feedback_, center_, log_, sent));
  {
    FeedbackListDialog before(feedback_, center_, log_, nullptr);
    ASSERT_EQ(before.List().topLevelItemCount(), 1);
    EXPECT_EQ(before.List().topLevelItem(0)->text(2), "no");
  }
  const std::int64_t pk = feedback_.items[0].pk;
  std::filesystem::create_directories(data_.File("feedback/replies"));
  Testing::WriteTextFile(
      data_.File("feedback/replies/" + std::to_string(pk) + ".xml"),
      "<reply respondedTimeStamp=\"2026-12-06T11:00:00\">Grease the pivot</reply>");
  std::atomic<bool> quit{false};
  ASSERT_TRUE(FeedbackFetchPass(feedback_, center_, quit, log_));
  FeedbackListDialog after(feedback_, center_, log_, nullptr);
  EXPECT_EQ(after.List().topLevelItem(0)->text(2), "yes");
  after.show();
  QTest::mouseClick(after.List().viewport(), Qt::LeftButton, {},
                    after.List().visualItemRect(after.List().topLevelItem(0)).center());
  EXPECT_EQ(after.Title().text(), "Squeaky pedal");
  EXPECT_EQ(after.Reply().toPlainText(), "Grease the pivot");
}

TEST_F(Dialogs, ANewFeedbackNeedsTitleAndBodyAndIsKeptOnceRegistered) {
  NewFeedbackDialog dialog(feedback_, center_, log_, nullptr);
  dialog.show();
  EXPECT_EQ(Send(dialog), (std::vector<std::string>{"Warning!: Title must be set"}));
  dialog.Title().setText("Clutch feel");
  EXPECT_EQ(Send(dialog), (std::vector<std::string>{"Warning!: Body must be set"}));
  EXPECT_TRUE(dialog.isVisible());
  dialog.Body().setPlainText(QString(5000, 'x'));
  EXPECT_EQ(dialog.Body().toPlainText().size(), 4096);
  EXPECT_TRUE(Send(dialog).empty());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  ASSERT_EQ(feedback_.items.size(), 1u);
  EXPECT_GT(feedback_.items[0].pk, 0);
  EXPECT_EQ(feedback_.items[0].title, "Clutch feel");
  EXPECT_TRUE(std::filesystem::exists(feedback_.path));
}

TEST_F(Dialogs, AFailedRegistrationSaysSoAndKeepsWhatTheUserWrote) {
  service_.Behave("RegisterUserFeedback=fault");
  NewFeedbackDialog dialog(feedback_, center_, log_, nullptr);
  dialog.show();
  dialog.Title().setText("Brake too soft");
  dialog.Body().setPlainText("Below 20 % it does nothing.");
  EXPECT_EQ(Send(dialog),
            (std::vector<std::string>{
                "An Error Occurred!: Not able to register a user feedback at this time."}));
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.Title().text(), "Brake too soft");
  EXPECT_EQ(dialog.Body().toPlainText(), "Below 20 % it does nothing.");
  EXPECT_TRUE(dialog.OkButton().isEnabled());
  EXPECT_TRUE(feedback_.items.empty());

  // A key of 0 from the service is no registration either.
  service_.Behave("RegisterUserFeedback=empty");
  EXPECT_FALSE(RegisterNewFeedback(feedback_, center_, log_, MakeFeedback("t", "b", LocalNow())));
  EXPECT_TRUE(feedback_.items.empty());
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
