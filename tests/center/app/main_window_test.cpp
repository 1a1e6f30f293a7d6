// The main window on Qt's offscreen platform, over the real core with the demo's simulated
// controllers: what the list shows, how live values reach it, the ribbon as the user clicks it,
// closing, quitting and the settings the toggles keep.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QPointer>
#include <QHeaderView>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <filesystem>

#include "center/app/application.h"
#include "center/app/guarded_application.h"
#include "center/app/qt_user_notifier.h"
#include "center/app/windowed_run.h"
#include "center/app/device_list_model.h"
#include "center/app/device_list_view.h"
#include "center/app/live_value_buffer.h"
#include "center/app/main_window.h"
#include "center/app/qt_center_view.h"
#include "center/app/ribbon_bar.h"
#include "center/app/screenshot_dialog.h"
#include "center/app/tray_icon.h"
#include "center/device/simulated_backend.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Center;
using namespace std::chrono_literals;

std::vector<Device::SimulatedController> Demo() {
  return Device::SimulatedBackend::ReadDescriptionFile(std::string(QUORVANE_SIMULATED_DIR) + "/demo.xml");
}

// A window that records the commands it hands to other parts of the center.
class RecordingWindow final : public MainWindow {
 public:
  using MainWindow::MainWindow;
  std::vector<std::string> opened;

 protected:
  void OpenFirmwareChange(int item) override { opened.push_back("change " + std::to_string(item)); }
  void OpenCrashRecovery(int item) override { opened.push_back("recovery " + std::to_string(item)); }
  void OpenCalibration() override { opened.push_back("calibration"); }
};

// The core over simulated controllers, in folders of the test's own; the window over it.
class Window : public testing::Test {
 protected:
  Window() {
    folders_.localAppData = root_.File("data");
    folders_.programFolder = root_.File("program/");
    folders_.installRoot = root_.Path();
    std::filesystem::create_directories(folders_.programFolder);
    Testing::WriteTextFile(folders_.programFolder + "Kestrane.xml",
                           "<settings><WebServicesUrl/><EnableBetaSoftware>false</EnableBetaSoftware>"
                           "<TopMostWindow>false</TopMostWindow><SecureCrashRecovery>false</SecureCrashRecovery></settings>");
    Open();
  }
  ~Window() override { Close(); }

  // Poll passes are driven by the test; with `pollThread` the center's own poll thread runs in
  // real time instead, and the windows are activated as the platform does it.
  void Open(bool pollThread = false) {
    Platform::Clock& clock = pollThread ? static_cast<Platform::Clock&>(realClock_) : clock_;
    backend_ = std::make_unique<Device::SimulatedBackend>(Demo(), clock);
    application_ = std::make_unique<CApplication>(
        CenterEnvironment{folders_, {"http://127.0.0.1:1/x"}, *backend_, log_, notifier_, clock});
    application_->StartUp("");
    window_ = std::make_unique<RecordingWindow>(*application_, values_, Platform::FileVersion{1, 2, 3, 4});
    view_ = std::make_unique<QtCenterView>(*window_, values_);
    window_->ShowAtStart();
    window_->RebuildListDisplay();
    if (pollThread) {
      application_->StartPollThread(*view_);
    } else {
      application_->AttachView(*view_);
      application_->windowInactive = false;
    }
  }

  void Close() {
    application_->Shutdown();
    window_.reset();
    view_.reset();
    application_.reset();
  }

  QRect RowRect(int row) { return window_->List().visualRect(window_->ListModel().index(row, 0)); }
  void ClickRow(int row) {
    QTest::mouseClick(window_->List().viewport(), Qt::LeftButton, {}, RowRect(row).center());
  }
  QToolButton* Button(RibbonCommand command) { return window_->Ribbon().Button(command); }

  Testing::TempFolder root_;
  Platform::KnownFolders folders_;
  Platform::ManualClock clock_;
  Platform::SystemClock realClock_;
  Diagnostics::RecordingEventLog log_;
  Diagnostics::RecordingUserNotifier notifier_;
  LiveValueBuffer values_;
  std::unique_ptr<Device::SimulatedBackend> backend_;
  std::unique_ptr<CApplication> application_;
  std::unique_ptr<RecordingWindow> window_;
  std::unique_ptr<QtCenterView> view_;
};

TEST_F(Window, ShowsTheDemoSetWithTitleSizeAndColumns) {
  EXPECT_EQ(window_->objectName(), "KESTRANE");
  EXPECT_EQ(window_->windowTitle(), "Kestrane | v1.2.3.4 | 00:00");
  EXPECT_EQ(window_->size(), QSize(950, 380));
  const auto& model = window_->ListModel();
  ASSERT_EQ(model.rowCount(), 9);
  EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Name/Type");
  EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Joystick Value");
  EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), "Brake");
  EXPECT_EQ(model.data(model.index(0, 2), Qt::DisplayRole).toString(), "QVB-Q-1001");
  EXPECT_EQ(model.data(model.index(7, 3), Qt::DisplayRole).toString(), "v2.0");
  QHeaderView* header = window_->List().header();
  for (int column = 0; column < 4; ++column) {
    EXPECT_EQ(header->sectionSize(column), DeviceListView::kWidths[column]) << column;
  }
  // The title counts the running time once a second.
  QTest::qWait(1100);
  EXPECT_EQ(window_->windowTitle(), "Kestrane | v1.2.3.4 | 00:01");
}

TEST_F(Window, ALiveValueReachesItsBarWithinTwoFrames) {
  clock_.Advance(750ms);  // the demo's brake is on its way up
  application_->PollPass();
  const std::uint32_t brake = application_->Devices().rows[1].currentValue;
  ASSERT_GT(brake, 0u);
  QTest::qWait(2 * MainWindow::kFrameIntervalMs + 5);
  EXPECT_EQ(window_->ListModel().Line(1).value, brake);
  const int framesBefore = window_->FramesPainted();
  QTest::qWait(10 * MainWindow::kFrameIntervalMs);
  // Nothing changed since: no value to take, so the frames that went by painted nothing.
  EXPECT_EQ(window_->FramesPainted() - framesBefore, 0);
}

TEST_F(Window, NameColumnStopsAtItsMinimumAndSerialCannotBeResized) {
  QHeaderView* header = window_->List().header();
  const auto drag = [&](int fromX, int toX) {
    const int y = header->height() / 2;
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(fromX, y));
    QTest::mouseMove(header->viewport(), QPoint((fromX + toX) / 2, y));
    QTest::mouseMove(header->viewport(), QPoint(toX, y));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(toX, y));
  };
  drag(header->sectionViewportPosition(1) - 1, 120);
  EXPECT_EQ(header->sectionSize(0), 250);
  const int serialEdge = header->sectionViewportPosition(3) - 1;
  drag(serialEdge, serialEdge - 150);
  EXPECT_EQ(header->sectionSize(2), 250);
  EXPECT_EQ(header->sectionResizeMode(2), QHeaderView::Fixed);
  EXPECT_EQ(header->sectionResizeMode(3), QHeaderView::Fixed);
}

TEST_F(Window, SelectingADeviceLineOrAChannelLineSwitchesTheCommands) {
  ClickRow(0);
  EXPECT_EQ(window_->Ribbon().Mode(), RibbonMode::DeviceSelected);
  EXPECT_TRUE(Button(RibbonCommand::ChangeFirmware)->isEnabled());
  EXPECT_FALSE(Button(RibbonCommand::Calibrate)->isEnabled());
  EXPECT_FALSE(Button(RibbonCommand::Reset)->isEnabled());
  EXPECT_TRUE(window_->Ribbon().GroupOf(RibbonCommand::ChangeFirmware)->isVisible());
  EXPECT_FALSE(window_->Ribbon().GroupOf(RibbonCommand::Calibrate)->isVisible());

  ClickRow(2);
  EXPECT_EQ(window_->Ribbon().Mode(), RibbonMode::ChannelSelected);
  EXPECT_FALSE(Button(RibbonCommand::ChangeFirmware)->isEnabled());
  EXPECT_TRUE(Button(RibbonCommand::Calibrate)->isEnabled());
  EXPECT_TRUE(Button(RibbonCommand::Reset)->isEnabled());
  EXPECT_EQ(application_->SelectedRow()->channelName, "Accelerator");

  // Refresh forgets the selection.
  QTest::mouseClick(Button(RibbonCommand::Refresh), Qt::LeftButton);
  EXPECT_EQ(window_->Ribbon().Mode(), RibbonMode::NothingSelected);
  EXPECT_TRUE(application_->noRowSelected);
}

TEST_F(Window, AGalleryItemRunsOnceWhenClickedAfterThePointerReachedIt) {
  ClickRow(0);
  Service::FirmwareEntry entry;
  entry.displayName = "Quad Pedal Firmware v3.4";
  application_->Devices().rows[0].Lookup().Append(entry);
  entry.displayName = "Quad Pedal Firmware v3.5 beta";
  application_->Devices().rows[0].Lookup().Append(entry);
  window_->RefreshGalleries();
  QMenu* gallery = window_->Ribbon().Menu(RibbonCommand::ChangeFirmware);
  ASSERT_EQ(gallery->actions().size(), 2);

  gallery->popup(QPoint(0, 0));
  QTest::qWait(20);
  const QRect second = gallery->actionGeometry(gallery->actions()[1]);
  QTest::mouseMove(gallery, gallery->actionGeometry(gallery->actions()[0]).center());
  QTest::mouseMove(gallery, second.center());
  QTest::mouseClick(gallery, Qt::LeftButton, {}, second.center());
  EXPECT_EQ(window_->opened, (std::vector<std::string>{"change 1"}));

  // Opening it again and moving over the same item runs nothing.
  gallery->popup(QPoint(0, 0));
  QTest::qWait(20);
  QTest::mouseMove(gallery, second.center());
  gallery->hide();
  EXPECT_EQ(window_->opened.size(), 1u);
}

TEST_F(Window, ClosingMinimisesWithoutATrayAndTheExitQuestionsNoKeepsTheProgram) {
  ASSERT_FALSE(TrayIcon::Available());  // the offscreen platform has no tray
  window_->close();
  QTest::qWait(20);
  EXPECT_TRUE(window_->isMinimized());
  EXPECT_FALSE(window_->Quitting());

  QTimer::singleShot(50, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "Confirmation");
    EXPECT_EQ(box->text(), "Do you really want to quit Kestrane?");
    box->button(QMessageBox::No)->click();
  });
  window_->AskAndQuit();
  EXPECT_FALSE(window_->Quitting());
}

TEST_F(Window, TogglesShowTheStoredSettingsAfterARestart) {
  QTest::mouseClick(Button(RibbonCommand::TopMostWindow), Qt::LeftButton);
  QTest::mouseClick(Button(RibbonCommand::SecureCrashRecovery), Qt::LeftButton);
  EXPECT_TRUE(window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  Close();
  Open();
  EXPECT_TRUE(Button(RibbonCommand::TopMostWindow)->isChecked());
  EXPECT_TRUE(Button(RibbonCommand::SecureCrashRecovery)->isChecked());
  EXPECT_FALSE(Button(RibbonCommand::EnableBetaSoftware)->isChecked());
  EXPECT_TRUE(window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  QTest::mouseClick(Button(RibbonCommand::TopMostWindow), Qt::LeftButton);
  EXPECT_FALSE(window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_FALSE(Button(RibbonCommand::TopMostWindow)->isChecked());
}

TEST_F(Window, APictureIsTheWindowsContentAndALinkFileNameIsRefused) {
  EXPECT_EQ(window_->Picture().size(), QSize(950, 380));

  ScreenshotFileDialog dialog(window_.get());
  EXPECT_EQ(dialog.windowTitle(), "Save Screenshot As");
  EXPECT_EQ(dialog.nameFilters(), (QStringList{"BMP (*.bmp)", "JPEG (*.jpeg)", "PNG (*.png)"}));
  dialog.setDirectory(root_.Path().c_str());
  dialog.show();
  std::string told;
  QTimer::singleShot(50, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      told = box->text().toStdString();
      box->accept();
    }
  });
  dialog.selectFile(QString::fromStdString(root_.File("site.URL")));
  dialog.accept();
  EXPECT_EQ(told, "You cannot select a URL File.");
  EXPECT_TRUE(dialog.isVisible());  // the dialog stays for another name

  // "shot" with JPEG chosen is "shot.jpeg": that one exists, and is replaced only after a Yes.
  Testing::WriteTextFile(root_.File("shot.jpeg"), "an earlier picture");
  dialog.selectNameFilter("JPEG (*.jpeg)");
  for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
    told.clear();
    QTimer::singleShot(50, [&, answer] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        told = box->text().toStdString();
        box->button(answer)->click();
      }
    });
    dialog.selectFile(QString::fromStdString(root_.File("shot")));
    dialog.accept();
    EXPECT_EQ(told, root_.File("shot.jpeg") + " already exists.\nDo you want to replace it?");
    EXPECT_EQ(dialog.isVisible(), answer == QMessageBox::No);
  }
  EXPECT_EQ(dialog.ChosenFile(), root_.File("shot.jpeg"));
  EXPECT_STREQ(dialog.ChosenFormat(), "JPEG");
}

// The poll thread reads while any window of the center is in front: behind one of its dialogs
// the live values go on, as the calibration dialog's live reading needs.
TEST_F(Window, LiveValuesGoOnWhileADialogOfTheCenterIsActive) {
  Close();
  Open(true);
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  emit window_->Ribbon().Executed(RibbonCommand::About, 0);
  auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
  ASSERT_NE(about, nullptr);
  about->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(about));

  const std::uint32_t before = window_->ListModel().Line(1).value;
  EXPECT_TRUE(QTest::qWaitFor([&] { return window_->ListModel().Line(1).value != before; }, 2000));
  EXPECT_FALSE(application_->windowInactive);
  about->reject();
}

// About goes when a controller is plugged in or out, as other dialogs of the list do.
TEST_F(Window, AboutClosesWhenADeviceArrives) {
  emit window_->Ribbon().Executed(RibbonCommand::About, 0);
  QPointer<QWidget> about = QApplication::activeModalWidget();
  ASSERT_TRUE(about);
  application_->OnDeviceChange(DeviceChange::Arrival);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !about || !about->isVisible(); }, 1000));
}

TEST_F(Window, TheTrayMenuOpensTheWindowAndExitsOnlyAfterYes) {
  const auto actions = window_->Tray().Menu().actions();
  ASSERT_EQ(actions.size(), 2);
  window_->showMinimized();
  actions[0]->trigger();  // Open Kestrane
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(window_->isMinimized());
  for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
    QTimer::singleShot(50, [answer] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->button(answer)->click();
    });
    actions[1]->trigger();  // Exit
    EXPECT_EQ(window_->Quitting(), answer == QMessageBox::Yes);
  }
}

// A capture waits half a second, so that the ribbon's menu is gone from the picture.
TEST_F(Window, ACaptureToTheClipboardWaitsHalfASecond) {
  QGuiApplication::clipboard()->clear();
  emit window_->Ribbon().Executed(RibbonCommand::CaptureToClipboard, 0);
  QTest::qWait(400);
  EXPECT_TRUE(QGuiApplication::clipboard()->image().isNull());
  QTest::qWait(200);
  EXPECT_EQ(QGuiApplication::clipboard()->image().size(), window_->size());
}

// An exception that a slot lets escape ends the event loop and comes out of the window's run,
// where the center reports it as one of its start-up.
TEST(WindowRun, AnExceptionInTheEventLoopEndsTheRunAndIsThrownAgain) {
  Testing::TempFolder root;
  Platform::KnownFolders folders;
  folders.localAppData = root.File("data");
  folders.installRoot = root.Path();
  Platform::ManualClock clock;
  Device::SimulatedBackend backend(Demo(), clock);
  Diagnostics::RecordingEventLog log;
  QtUserNotifier notifier;
  CApplication application(CenterEnvironment{folders, {"http://127.0.0.1:1/x"}, backend, log, notifier, clock});
  application.StartUp("");
  sigset_t none;
  sigemptyset(&none);
  bool shutDown = false;
  QTimer::singleShot(50, [] { throw std::runtime_error("thrown by a slot"); });
  EXPECT_THROW(RunWindow(application, notifier, {}, none, [&] {
                 application.Shutdown();
                 shutDown = true;
               }),
               std::runtime_error);
  EXPECT_TRUE(shutDown);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  GuardedApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
