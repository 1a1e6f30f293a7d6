// The main window and its dialogs on Qt's offscreen platform, over the real core with simulated
// controllers: what the list shows and how live values reach it, the ribbon as the user clicks
// it, the tray, pictures, the calibration dialog, and flashing for real through the firmware
// dialogs (the stand-in service, the real avrdude and the simulated bootloader).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "center/app/application.h"
#include "center/app/device_list_model.h"
#include "center/app/device_list_view.h"
#include "center/app/guarded_application.h"
#include "center/app/live_value_buffer.h"
#include "center/app/main_window.h"
#include "center/app/qt_center_view.h"
#include "center/app/qt_user_notifier.h"
#include "center/app/ribbon_bar.h"
#include "center/app/screenshot_dialog.h"
#include "center/app/trace_dialog.h"
#include "center/app/tray_icon.h"
#include "center/app/windowed_run.h"
#include "center/calibration/calibration_dialog.h"
#include "center/device/simulated_backend.h"
#include "center/firmware/firmware_dialog.h"
#include "center/firmware/recovery_dialog.h"
#include "center/firmware/simulated_bootloader.h"
#include "tests/support/center_folders.h"
#include "tests/support/local_service.h"
#include "tests/support/shipped_controllers.h"
#include "tests/support/signing_key.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Center;
using namespace std::chrono_literals;

// Answers the next message box with `button`; the box's text lands in the returned string.
std::shared_ptr<std::string> AnswerBox(QMessageBox::StandardButton button) {
  auto text = std::make_shared<std::string>("<no box>");
  QTimer::singleShot(50, [text, button] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      *text = box->text().toStdString();
      box->button(button)->click();
    }
  });
  return text;
}

// Runs `act` once the modal dialog of type T is up (from inside its event loop). A dialog the
// test left open is closed, so that a failed expectation cannot hang the test.
template <typename T, typename Act>
void WhenDialogOpens(Act act) {
  QTimer::singleShot(0, [act] {
    if (!QTest::qWaitFor(
            [] { return qobject_cast<T*>(QApplication::activeModalWidget()) != nullptr; }, 4000)) {
      ADD_FAILURE() << "the dialog did not open";
      return;
    }
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    QApplication::setActiveWindow(dialog);
    act(*dialog);
    if (dialog->isVisible()) {
      ADD_FAILURE() << "the dialog was still open";
      static_cast<QDialog*>(dialog)->done(-1);
    }
  });
}

// The core over simulated controllers in folders of the test's own, and its window over it; the
// poll passes are the test's, or (`pollThread`) the center's poll thread runs in real time with
// the windows activated as the platform does it.
template <typename Clock>
class CenterWindow : public testing::Test {
 protected:
  void Open(const std::string& description, const std::string& endpoint = "http://127.0.0.1:1/x",
            Firmware::SerialPortMap* ports = nullptr, bool pollThread = false) {
    folders_.localAppData = root_.File("data");
    folders_.programFolder = std::string(QUORVANE_SCRIPT_FOLDER) + "/";
    folders_.temp = root_.File("tmp/");
    folders_.installRoot = root_.Path();
    std::filesystem::create_directories(folders_.temp);
    // The user's own settings file, which the ribbon's toggles change.
    const std::string settings = folders_.localAppData + "/Quorvane/Kestrane/Kestrane.xml";
    if (!std::filesystem::exists(settings)) {
      std::filesystem::create_directories(folders_.localAppData + "/Quorvane/Kestrane");
      Testing::WriteTextFile(settings, Testing::kQuietCenterSettings);
    }
    if (!backend_)
      backend_ = std::make_unique<Device::SimulatedBackend>(
          Testing::ShippedControllers({description}), clock_);
    application_ = std::make_unique<CApplication>(
        CenterEnvironment{folders_, {endpoint}, *backend_, log_, notifier_, clock_, ports});
    application_->StartUp("");
    window_ =
        std::make_unique<MainWindow>(*application_, values_, Platform::FileVersion{1, 2, 3, 4});
    view_ = std::make_unique<QtCenterView>(*window_, values_);
    window_->ShowAtStart();
    window_->RebuildListDisplay();
    if (pollThread) {
      application_->StartPollThread(*view_);
    } else {
      application_->AttachView(*view_);
      application_->SetWindowActive(true);
    }
  }
  void Close() {
    if (application_) application_->Shutdown();
    window_.reset();
    view_.reset();
    application_.reset();
  }
  void TearDown() override { Close(); }
  void ClickRow(int row) {
    const QRect line = window_->List().visualRect(window_->ListModel().index(row, 0));
    QTest::mouseClick(window_->List().viewport(), Qt::LeftButton, {}, line.center());
  }
  QToolButton* Button(RibbonCommand command) { return window_->Ribbon().Button(command); }
  void Execute(RibbonCommand command) { emit window_->Ribbon().Executed(command, 0); }

  Testing::TempFolder root_;
  Platform::KnownFolders folders_;
  Clock clock_;
  Diagnostics::RecordingEventLog log_;
  Diagnostics::RecordingUserNotifier notifier_;
  std::unique_ptr<Device::SimulatedBackend> backend_;
  LiveValueBuffer values_;
  std::unique_ptr<CApplication> application_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<QtCenterView> view_;
};

class Window : public CenterWindow<Platform::ManualClock> {
 protected:
  void SetUp() override { Open("demo.xml"); }
};

TEST_F(Window, ShowsTheDemoSetAndCountsTheRunningTimeInTheTitle) {
  EXPECT_EQ(window_->windowTitle(), "Kestrane | v1.2.3.4 | 00:00");
  QTest::qWait(1100);  // the title counts the running time once a second
  EXPECT_EQ(window_->windowTitle(), "Kestrane | v1.2.3.4 | 00:01");
}

TEST_F(Window, ALiveValueReachesItsBarWithinTwoFramesAndAnUnchangedOneIsNotPainted) {
  clock_.Advance(750ms);  // the demo's brake is on its way up
  application_->PollPass();
  const std::uint32_t brake = application_->Devices().rows[1].currentValue;
  ASSERT_GT(brake, 0u);
  QTest::qWait(2 * 33 + 5);
  EXPECT_EQ(window_->ListModel().Line(1).value, brake);
  // A screen reader hears the bar as the pedal's share of its range, a button as released.
  const auto spoken = [&](int row) {
    return window_->ListModel().index(row, 1).data(Qt::AccessibleTextRole).toString();
  };
  EXPECT_EQ(
      spoken(1),
      QString("%1 %").arg(static_cast<int>(
          window_->ListModel().index(1, 1).data(DeviceListModel::BarFractionRole).toDouble() * 100 +
          0.5)));
  EXPECT_NE(spoken(1), "0 %");
  EXPECT_EQ(spoken(6), "released");
  const int framesBefore = window_->FramesPainted();
  QTest::qWait(10 * 33);
  EXPECT_EQ(window_->FramesPainted() - framesBefore, 0);
  clock_.Advance(100ms);  // and a value that moves again is painted again
  application_->PollPass();
  ASSERT_NE(application_->Devices().rows[1].currentValue, brake);
  QTest::qWait(2 * 33 + 5);
  EXPECT_GT(window_->FramesPainted() - framesBefore, 0);
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
}

TEST_F(Window, DeviceChannelAndButtonLinesSwitchTheCommandsAndRefreshForgetsTheSelection) {
  ClickRow(0);
  EXPECT_EQ(window_->Ribbon().Mode(), RibbonMode::DeviceSelected);
  EXPECT_TRUE(Button(RibbonCommand::ChangeFirmware)->isEnabled());
  EXPECT_FALSE(window_->Ribbon().GroupOf(RibbonCommand::Calibrate)->isVisible());
  ClickRow(2);
  EXPECT_EQ(window_->Ribbon().Mode(), RibbonMode::ChannelSelected);
  EXPECT_TRUE(Button(RibbonCommand::Calibrate)->isEnabled());
  EXPECT_EQ(application_->SelectedRow()->channelName, "Accelerator");
  ClickRow(5);  // a button line
  EXPECT_FALSE(Button(RibbonCommand::Calibrate)->isEnabled());
  QTest::mouseClick(Button(RibbonCommand::Refresh), Qt::LeftButton);
  EXPECT_EQ(window_->Ribbon().Mode(), RibbonMode::NothingSelected);
  EXPECT_FALSE(application_->RowSelected());
}

TEST_F(Window, TogglesShowTheStoredSettingsAfterARestart) {
  QTest::mouseClick(Button(RibbonCommand::TopMostWindow), Qt::LeftButton);
  QTest::mouseClick(Button(RibbonCommand::SecureCrashRecovery), Qt::LeftButton);
  EXPECT_TRUE(window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  Close();
  Open("demo.xml");
  EXPECT_TRUE(Button(RibbonCommand::TopMostWindow)->isChecked());
  EXPECT_TRUE(Button(RibbonCommand::SecureCrashRecovery)->isChecked());
  EXPECT_FALSE(Button(RibbonCommand::EnableBetaSoftware)->isChecked());
  EXPECT_TRUE(window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  QTest::mouseClick(Button(RibbonCommand::TopMostWindow), Qt::LeftButton);
  EXPECT_FALSE(window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

// Without a tray (the offscreen platform has none) closing minimises; the tray's menu opens the
// window again, and its Exit quits only after Yes.
TEST_F(Window, ClosingMinimisesAndTheTrayMenuOpensTheWindowAndExitsOnlyAfterYes) {
  ASSERT_FALSE(TrayIcon::Available());
  window_->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window_->isMinimized(); }, 500));
  const auto actions = window_->Tray().Menu().actions();
  ASSERT_EQ(actions.size(), 2);
  actions[0]->trigger();  // Open Kestrane
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(window_->isMinimized());
  for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
    const auto asked = AnswerBox(answer);
    actions[1]->trigger();  // Exit
    EXPECT_EQ(*asked, "Do you really want to quit Kestrane?");
    EXPECT_EQ(window_->Quitting(), answer == QMessageBox::Yes);
  }
}

// The selected controller's trace opens beside the window with a line per load cell, follows
// the poll thread's readings, greys out while the controller is away and follows it again.
TEST_F(Window, TheTraceFollowsTheSelectedControllerUntilItLeaves) {
  ClickRow(2);
  ASSERT_TRUE(Button(RibbonCommand::Trace)->isEnabled());
  Execute(RibbonCommand::Trace);
  auto* trace = window_->findChild<TraceDialog*>();
  ASSERT_TRUE(trace);
  EXPECT_TRUE(trace->isVisible());
  EXPECT_EQ(trace->Recorder().Channels().size(), 4u);
  backend_->Unplug("sim/demo-quad");
  application_->OnDeviceChange(DeviceChange::Removal);
  application_->PollPass();
  EXPECT_TRUE(QTest::qWaitFor([&] { return trace->Recorder().Left(); }, 2000));
  EXPECT_TRUE(trace->windowTitle().endsWith("(the controller left)"));
  backend_->Plug("sim/demo-quad");
  application_->OnDeviceChange(DeviceChange::Arrival);
  application_->PollPass();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !trace->Recorder().Left(); }, 2000));
  EXPECT_EQ(trace->windowTitle(), "Trace: QVB-Q-1001");
}

TEST_F(Window, AboutClosesWhenADeviceArrives) {
  Execute(RibbonCommand::About);
  QPointer<QWidget> about = QApplication::activeModalWidget();
  ASSERT_TRUE(about);
  application_->OnDeviceChange(DeviceChange::Arrival);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !about || !about->isVisible(); }, 1000));
}

// A picture is the window's own content, taken half a second after the command so that the
// ribbon's menu is gone from it; a link file's name is refused, and a file the added extension
// names is replaced only after a Yes.
TEST_F(Window, PicturesWaitHalfASecondAndTheirFileNamesAreChecked) {
  QGuiApplication::clipboard()->clear();
  Execute(RibbonCommand::CaptureToClipboard);
  QTest::qWait(400);
  EXPECT_TRUE(QGuiApplication::clipboard()->image().isNull());
  QTest::qWait(200);
  EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(950, 380));

  ScreenshotFileDialog dialog(window_.get());
  dialog.setDirectory(root_.Path().c_str());
  dialog.show();
  auto told = AnswerBox(QMessageBox::Ok);
  dialog.selectFile(QString::fromStdString(root_.File("site.URL")));
  dialog.accept();
  EXPECT_EQ(*told, "You cannot select a URL File.");
  EXPECT_TRUE(dialog.isVisible());

  Testing::WriteTextFile(root_.File("shot.jpeg"), "an earlier picture");
  dialog.selectNameFilter("JPEG (*.jpeg)");
  for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
    told = AnswerBox(answer);
    dialog.selectFile(QString::fromStdString(root_.File("shot")));
    dialog.accept();
    EXPECT_EQ(*told, root_.File("shot.jpeg") + " already exists.\nDo you want to replace it?");
    EXPECT_EQ(dialog.isVisible(), answer == QMessageBox::No);
  }
  EXPECT_EQ(dialog.ChosenFile(), root_.File("shot.jpeg"));
  EXPECT_STREQ(dialog.ChosenFormat(), "JPEG");
}

// The poll thread reads while any window of the center is in front: behind one of its dialogs
// the live values go on, as the calibration dialog's live reading needs.
class ActiveWindow : public CenterWindow<Platform::SystemClock> {};

TEST_F(ActiveWindow, LiveValuesGoOnWhileADialogOfTheCenterIsActive) {
  Open("demo.xml", "http://127.0.0.1:1/x", nullptr, true);
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  Execute(RibbonCommand::About);
  auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
  ASSERT_NE(about, nullptr);
  about->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(about));
  const std::uint32_t before = window_->ListModel().Line(1).value;
  EXPECT_TRUE(QTest::qWaitFor([&] { return window_->ListModel().Line(1).value != before; }, 2000));
  EXPECT_TRUE(application_->WindowActive());
  about->reject();
}

// An exception that a slot lets escape ends the event loop and comes out of the window's run
// after the shutdown, where the center reports it as one of its start-up.
TEST_F(Window, AnExceptionInTheEventLoopEndsTheRunAndIsThrownAgain) {
  Close();
  QtUserNotifier notifier;
  CApplication application(
      CenterEnvironment{folders_, {"http://127.0.0.1:1/x"}, *backend_, log_, notifier, clock_});
  application.StartUp("");
  sigset_t none;
  sigemptyset(&none);
  bool shutDown = false;
  QTimer::singleShot(50, [] { throw std::runtime_error("thrown by a slot"); });
  EXPECT_THROW(RunWindow(application, notifier, {}, none,
                         [&] {
                           application.Shutdown();
                           shutDown = true;
                         }),
               std::runtime_error);
  EXPECT_TRUE(shutDown);
}

// Calibrating the single brake's channel from the ribbon, on a clock the test moves.
class Calibrating : public CenterWindow<Platform::ManualClock> {
 protected:
  void SetUp() override {
    Open("single-brake.xml");
    clock_.Advance(1s);
    application_->PollPass();  // the rows hold live reports
    ClickRow(1);               // the brake channel
  }
  // The calibration commands sent: (code, parameter).
  std::vector<std::pair<int, std::uint32_t>> Commands() {
    std::vector<std::pair<int, std::uint32_t>> commands;
    for (const auto& report : backend_->SentReports("sim/single-brake")) {
      if (report[0] == 0x10) {
        std::uint32_t parameter = 0;
        for (int byte = 3; byte >= 0; --byte) {
          parameter = parameter << 8 | report[static_cast<std::size_t>(2 + byte)];
        }
        commands.emplace_back(report[1], parameter);
      }
    }
    return commands;
  }
  int RunCalibration(const std::function<void(Calibration::CalibrationDialog&)>& act) {
    int result = -1;
    WhenDialogOpens<Calibration::CalibrationDialog>([&](Calibration::CalibrationDialog& dialog) {
      act(dialog);
      result = dialog.result();
    });
    QTest::mouseClick(Button(RibbonCommand::Calibrate), Qt::LeftButton);
    return result;
  }
};

TEST_F(Calibrating, TheMaximumSendsCodeOneAndCountsFiveSecondsDownWhileEscapeDoesNothing) {
  std::vector<std::string> captions;
  const int result = RunCalibration([&](Calibration::CalibrationDialog& dialog) {
    EXPECT_TRUE(dialog.Maximum().isChecked());
    QTest::mouseClick(&dialog.OkButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.CancelButton().isEnabled());
    QTest::keyClick(&dialog, Qt::Key_Escape);  // the controller calibrates: the dialog stays
    EXPECT_TRUE(dialog.isVisible());
    while (dialog.isVisible()) {
      clock_.Advance(500ms);
      QTest::qWait(Calibration::CalibrationDialog::kWaitLookMs + 30);
      const std::string caption = dialog.Caption().text().toStdString();
      if (captions.empty() || captions.back() != caption) captions.push_back(caption);
    }
  });
  EXPECT_EQ(Commands(), (std::vector<std::pair<int, std::uint32_t>>{{1, 0}}));
  EXPECT_EQ(captions.size(), 5u);
  EXPECT_EQ(captions.front(), "Calibrating Controller... 5 seconds left...");
  EXPECT_EQ(captions.back(), "Calibrating Controller... 1 seconds left...");
  EXPECT_EQ(result, 3);
}

TEST_F(Calibrating, ATypedMinimumIsSentAndANegativeOneIsRefused) {
  int result = RunCalibration([&](Calibration::CalibrationDialog& dialog) {
    dialog.CustomMinimum().click();
    dialog.CustomMinimum().setFocus();
    QTest::qWait(400);  // the custom kind shows the live raw reading
    EXPECT_EQ(dialog.Edit().text().toStdString(),
              std::to_string(application_->Devices().rows[1].PresentRawReading()));
    dialog.Edit().setFocus();
    dialog.Edit().selectAll();
    QTest::keyClicks(&dialog.Edit(), "1200");
    QTest::qWait(400);  // the live reading never overwrites what the user types
    QTest::mouseClick(&dialog.OkButton(), Qt::LeftButton);
    clock_.Advance(1s);
    QTest::qWait(150);
    EXPECT_TRUE(dialog.isVisible());
    clock_.Advance(500ms);
    QTest::qWait(150);
    EXPECT_FALSE(dialog.isVisible());
  });
  EXPECT_EQ(Commands(), (std::vector<std::pair<int, std::uint32_t>>{{0, 1200}}));
  EXPECT_EQ(result, 3);

  auto warned = std::make_shared<std::string>();
  ClickRow(1);
  RunCalibration([&](Calibration::CalibrationDialog& dialog) {
    dialog.CustomMinimum().click();
    dialog.Edit().setText("-1");
    warned = AnswerBox(QMessageBox::Ok);
    QTest::mouseClick(&dialog.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    dialog.reject();
  });
  EXPECT_NE(warned->find("negative"), std::string::npos) << *warned;
  EXPECT_EQ(Commands().size(), 1u);  // nothing more was sent
}

TEST_F(Calibrating, AControllerPluggedInClosesTheDialog) {
  EXPECT_EQ(RunCalibration([&](Calibration::CalibrationDialog& dialog) {
              application_->OnDeviceChange(DeviceChange::Arrival);
              EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 2000));
            }),
            0);
}

// Flashing for real, through the dialogs, with the real clock.
class Flashing : public CenterWindow<Platform::SystemClock> {
 protected:
  void SetUp() override {
    Testing::CopySampleServiceData(data_.Path());
    maker_.TrustIn(root_.Path());
    service_ = std::make_unique<Testing::LocalServiceProcess>(
        data_.Path(), std::vector<std::string>{}, maker_.SecretKeyPath());
    backend_ = std::make_unique<Device::SimulatedBackend>(
        Testing::ShippedControllers({"single-brake.xml"}), clock_);
    host_ = std::make_unique<Firmware::SimulatedBootloaderHost>(*backend_, ports_);
    backend_->SetChangeListener([this] {
      if (application_) application_->OnDeviceChange(DeviceChange::Arrival);
    });
    Open("single-brake.xml", service_->Endpoint(), &ports_);
  }
  void TearDown() override {
    backend_->SetChangeListener({});
    Close();
    host_.reset();
  }
  // Runs poll passes until the list shows this firmware for the single brake.
  bool ListShows(const QString& firmware) {
    return QTest::qWaitFor(
        [&] {
          application_->PollPass();
          QTest::qWait(10);  // what the pass told the window arrives
          return window_->ListModel().rowCount() > 0 &&
                 window_->ListModel()
                         .data(window_->ListModel().index(0, 3), Qt::DisplayRole)
                         .toString() == firmware;
        },
        20000);
  }
  // Hovers over a gallery item and clicks it, as the user does; `act` gets the dialog it opens.
  // The gallery fills (and refills) as the firmware lists arrive.
  template <typename Dialog, typename Act>
  void PickFromGallery(RibbonCommand gallery, const QString& item, Act act) {
    QMenu* menu = window_->Ribbon().Menu(gallery);
    for (int attempt = 0; attempt < 100; ++attempt) {
      menu->popup(QPoint(0, 0));
      QTest::qWait(20);
      for (QAction* action : menu->actions()) {
        if (action->text() == item) {
          const QPoint centre = menu->actionGeometry(action).center();
          QTest::mouseMove(menu, centre);
          WhenDialogOpens<Dialog>(act);
          QTest::mouseClick(menu, Qt::LeftButton, {}, centre);
          return;
        }
      }
      menu->hide();
      QTest::qWait(100);
    }
    ADD_FAILURE() << "no gallery item " << item.toStdString();
  }
  // Follows a firmware dialog until it closes, clicking OK once enabled: its statuses and output.
  template <typename Dialog>
  std::pair<std::vector<std::string>, std::string> Follow(Dialog& dialog) {
    std::vector<std::string> statuses;
    while (dialog.isVisible()) {
      const std::string status = dialog.Status().text().toStdString();
      if (statuses.empty() || statuses.back() != status) statuses.push_back(status);
      if (dialog.OkButton().isEnabled()) QTest::mouseClick(&dialog.OkButton(), Qt::LeftButton);
      QTest::qWait(20);
    }
    return {statuses, dialog.Output().toPlainText().toStdString()};
  }
  bool Saw(const std::vector<std::string>& statuses, const std::string& status) {
    return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
  }

  Testing::TempFolder data_;
  Testing::SigningKey maker_;
  std::unique_ptr<Testing::LocalServiceProcess> service_;
  Firmware::SimulatedSerialPortMap ports_;
  std::unique_ptr<Firmware::SimulatedBootloaderHost> host_;
};

// The ribbon's Update Firmware for a controller with a newer firmware in the catalogue: the list
// stands still while the controller leaves and comes back, and follows afterwards.
TEST_F(Flashing, UpdateFirmwareFromTheRibbonFlashesThePendingFirmwareWhileTheListWaits) {
  ASSERT_TRUE(ListShows("v2.0"));
  ClickRow(0);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return Button(RibbonCommand::UpdateFirmware)->isEnabled(); }, 20000));
  std::string output;
  WhenDialogOpens<Firmware::FirmwareDialog>([&](Firmware::FirmwareDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Update Firmware to v2.1");
    EXPECT_FALSE(dialog.OkButton().isEnabled());
    EXPECT_TRUE(dialog.Progress().isVisible());
    EXPECT_TRUE(application_->FirmwareUpdateOpen());
    output = Follow(dialog).second;
  });
  QTest::mouseClick(Button(RibbonCommand::UpdateFirmware), Qt::LeftButton);
  EXPECT_FALSE(application_->FirmwareUpdateOpen());
  EXPECT_NE(output.find("bytes of flash verified"), std::string::npos) << output;
  EXPECT_TRUE(ListShows("v2.1"));
}

// The user's own image carries no signature of the maker: the window says so and flashes it only
// after a Yes; a No flashes nothing.
TEST_F(Flashing, UploadCustomFirmwareNamesTheFileAsNotTheMakersAndFlashesOnlyAfterYes) {
  ASSERT_TRUE(ListShows("v2.0"));
  const std::string image = data_.File("my-tuned-2.1.bin");
  std::filesystem::copy_file(data_.File("firmware/qv-single-2.1.bin"), image);
  ClickRow(0);
  ASSERT_TRUE(Button(RibbonCommand::UploadCustomFirmware)->isEnabled());
  for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
    std::string warning;
    std::vector<std::string> statuses;
    WhenDialogOpens<QFileDialog>([&](QFileDialog& chooser) {
      // Typed into the file name box and opened, as a user does.
      auto* name = chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      ASSERT_NE(name, nullptr);
      name->setText(QString::fromStdString(image));
      WhenDialogOpens<QMessageBox>([&](QMessageBox& question) {
        warning = question.text().toStdString();
        if (answer == QMessageBox::Yes) {
          WhenDialogOpens<Firmware::FirmwareDialog>(
              [&](Firmware::FirmwareDialog& dialog) { statuses = Follow(dialog).first; });
        }
        question.button(answer)->click();
      });
      QTest::keyClick(name, Qt::Key_Return);
    });
    QTest::mouseClick(Button(RibbonCommand::UploadCustomFirmware), Qt::LeftButton);
    EXPECT_EQ(warning.rfind("'my-tuned-2.1.bin' is not signed by the maker of your controller.", 0),
              0u)
        << warning;
    EXPECT_EQ(statuses.empty(), answer == QMessageBox::No);
  }
  EXPECT_TRUE(ListShows("v2.1"));
}

TEST_F(Flashing, CrashRecoveryFromTheGalleryCatchesTheBootloaderAfterAManualReset) {
  backend_->Unplug("sim/single-brake");  // crashed: no longer a HID device
  std::vector<std::string> statuses;
  PickFromGallery<Firmware::RecoveryDialog>(
      RibbonCommand::CrashRecovery, "Single Brake Firmware v2.1",
      [&](Firmware::RecoveryDialog& dialog) {
        EXPECT_EQ(dialog.Status().text(), "Click OK to start recovering firmware...");
        EXPECT_TRUE(dialog.SecureBox().isChecked());
        EXPECT_FALSE(dialog.SecureBox().isEnabled());
        QTest::mouseClick(&dialog.OkButton(), Qt::LeftButton);
        dialog.reject();  // Escape does nothing once started
        EXPECT_TRUE(dialog.isVisible());
        QTest::qWait(1200);
        host_->HardwareReset("sim/single-brake");
        statuses = Follow(dialog).first;
      });
  EXPECT_TRUE(Saw(statuses, "Recovering Device... Working..."));
  EXPECT_TRUE(ListShows("v2.1"));
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  GuardedApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
