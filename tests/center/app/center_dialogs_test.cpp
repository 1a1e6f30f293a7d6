// The calibration and firmware dialogs as the user reaches them, from the main window's ribbon,
// over the real core: simulated controllers, the stand-in service and, for flashing, the real
// avrdude talking to the simulated bootloader. Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <mutex>

#include "center/app/application.h"
#include "center/app/device_list_model.h"
#include "center/app/device_list_view.h"
#include "center/app/live_value_buffer.h"
#include "center/app/main_window.h"
#include "center/app/qt_center_view.h"
#include "center/app/ribbon_bar.h"
#include "center/calibration/calibration_dialog.h"
#include "center/device/simulated_backend.h"
#include "center/firmware/firmware_dialog.h"
#include "center/firmware/recovery_dialog.h"
#include "center/firmware/simulated_bootloader.h"
#include "tests/support/local_service.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Center;
using namespace std::chrono_literals;

std::vector<Device::SimulatedController> SingleBrake() {
  return Device::SimulatedBackend::ReadDescriptionFile(std::string(QUORVANE_SIMULATED_DIR) + "/single-brake.xml");
}

// The simulated backend, with every output report kept.
class RecordingBackend final : public Device::HidBackend {
 public:
  explicit RecordingBackend(Device::HidBackend& inner) : inner_(inner) {}
  Device::Enumeration Enumerate() override { return inner_.Enumerate(); }
  std::unique_ptr<Device::HidConnection> Open(const std::string& path, std::error_code& error) override {
    auto connection = inner_.Open(path, error);
    return connection ? std::make_unique<Connection>(std::move(connection), *this) : nullptr;
  }
  std::vector<std::vector<std::uint8_t>> Sent() {
    std::lock_guard lock(mutex_);
    return sent_;
  }

 private:
  class Connection final : public Device::HidConnection {
   public:
    Connection(std::unique_ptr<Device::HidConnection> inner, RecordingBackend& owner)
        : inner_(std::move(inner)), owner_(owner) {}
    std::optional<std::string> Manufacturer() override { return inner_->Manufacturer(); }
    std::optional<std::string> Product() override { return inner_->Product(); }
    std::optional<std::string> SerialNumber() override { return inner_->SerialNumber(); }
    std::optional<Device::LogicalRange> ValueRange() override { return inner_->ValueRange(); }
    bool GetInputReport(std::uint8_t id, Device::InputReportBuffer& buffer) override {
      return inner_->GetInputReport(id, buffer);
    }
    bool SendOutputReport(std::span<const std::uint8_t> report) override {
      {
        std::lock_guard lock(owner_.mutex_);
        owner_.sent_.emplace_back(report.begin(), report.end());
      }
      return inner_->SendOutputReport(report);
    }

   private:
    std::unique_ptr<Device::HidConnection> inner_;
    RecordingBackend& owner_;
  };

  Device::HidBackend& inner_;
  std::mutex mutex_;
  std::vector<std::vector<std::uint8_t>> sent_;
};

// Runs `act` once the modal dialog of type T is up (from inside its event loop). A dialog the
// test left open is closed, so that a failed expectation cannot hang the test.
template <typename T, typename Act>
void WhenDialogOpens(Act act) {
  QTimer::singleShot(0, [act] {
    for (int wait = 0; wait < 200; ++wait) {
      if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
        QApplication::setActiveWindow(dialog);
        act(*dialog);
        if (dialog->isVisible()) {
          ADD_FAILURE() << "the dialog was still open";
          dialog->done(-1);
        }
        return;
      }
      QTest::qWait(20);
    }
    ADD_FAILURE() << "the dialog did not open";
  });
}

// Waits (handling events) until the condition holds; false when it never did.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = 20s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QTest::qWait(20);
  }
  return true;
}

// The window over the core, with the single brake; `Clock` drives everything that waits.
template <typename Clock>
class CenterWithWindow : public testing::Test {
 protected:
  void Open(const std::string& endpoint, Firmware::SerialPortMap* ports = nullptr) {
    folders_.localAppData = root_.File("data");
    folders_.programFolder = std::string(QUORVANE_SCRIPT_FOLDER) + "/";
    folders_.temp = root_.File("tmp/");
    folders_.installRoot = root_.Path();
    std::filesystem::create_directories(folders_.temp);
    application_ = std::make_unique<CApplication>(
        CenterEnvironment{folders_, {endpoint}, recording_, log_, notifier_, clock_, ports});
    application_->StartUp("");
    window_ = std::make_unique<MainWindow>(*application_, values_, Platform::FileVersion{1, 0, 0, 0});
    view_ = std::make_unique<QtCenterView>(*window_, values_);
    application_->AttachView(*view_);
    window_->ShowAtStart();
    window_->RebuildListDisplay();
    application_->windowInactive = false;  // the offscreen platform activates no window
  }
  void TearDown() override {
    if (application_) application_->Shutdown();
    window_.reset();
  }
  void ClickRow(int row) {
    const QRect line = window_->List().visualRect(window_->ListModel().index(row, 0));
    QTest::mouseClick(window_->List().viewport(), Qt::LeftButton, {}, line.center());
  }
  QToolButton* Button(RibbonCommand command) { return window_->Ribbon().Button(command); }
  // Hovers over a gallery item and clicks it, as the user does; `act` gets the dialog it opens.
  template <typename Dialog, typename Act>
  void PickFromGallery(RibbonCommand gallery, const QString& item, Act act) {
    QMenu* menu = window_->Ribbon().Menu(gallery);
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
    ADD_FAILURE() << "no gallery item " << item.toStdString();
  }

  Testing::TempFolder root_;
  Platform::KnownFolders folders_;
  Clock clock_;
  Diagnostics::RecordingEventLog log_;
  Diagnostics::RecordingUserNotifier notifier_;
  Device::SimulatedBackend backend_{SingleBrake(), clock_};
  RecordingBackend recording_{backend_};
  LiveValueBuffer values_;
  std::unique_ptr<CApplication> application_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<QtCenterView> view_;
};

class Calibrating : public CenterWithWindow<Platform::ManualClock> {
 protected:
  void SetUp() override {
    Open("http://127.0.0.1:1/x");
    clock_.Advance(1s);
    application_->PollPass();  // the rows hold live reports
    ClickRow(1);               // the brake channel
  }
  // The calibration commands sent: (code, parameter).
  std::vector<std::pair<int, std::uint32_t>> Commands() {
    std::vector<std::pair<int, std::uint32_t>> commands;
    for (const auto& report : recording_.Sent()) {
      if (report.size() >= 6 && report[0] == 0x10) {
        std::uint32_t parameter = 0;
        for (std::size_t byte = 0; byte < 4; ++byte) {
          parameter |= static_cast<std::uint32_t>(report[2 + byte]) << (8 * byte);
        }
        commands.emplace_back(report[1], parameter);
      }
    }
    return commands;
  }
};

TEST_F(Calibrating, TheMaximumSendsCodeOneAndCountsFiveSecondsDown) {
  std::vector<std::string> captions;
  int result = -1;
  WhenDialogOpens<Calibration::CalibrationDialog>([&](Calibration::CalibrationDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Calibration");
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
    result = dialog.result();
  });
  QTest::mouseClick(Button(RibbonCommand::Calibrate), Qt::LeftButton);
  EXPECT_EQ(Commands(), (std::vector<std::pair<int, std::uint32_t>>{{1, 0}}));
  EXPECT_EQ(captions, (std::vector<std::string>{"Calibrating Controller... 5 seconds left...",
                                                "Calibrating Controller... 4 seconds left...",
                                                "Calibrating Controller... 3 seconds left...",
                                                "Calibrating Controller... 2 seconds left...",
                                                "Calibrating Controller... 1 seconds left..."}));
  EXPECT_EQ(result, 3);
}

TEST_F(Calibrating, TypingACustomMinimumSendsItAndClosesAfterOneAndAHalfSeconds) {
  int result = -1;
  WhenDialogOpens<Calibration::CalibrationDialog>([&](Calibration::CalibrationDialog& dialog) {
    dialog.Edit().setFocus();  // focus on the edit picks the custom kind
    QTest::qWait(20);
    EXPECT_TRUE(dialog.CustomMinimum().isChecked());
    EXPECT_NE(dialog.Instruction().text().indexOf("Current Minimum: "), -1);
    dialog.Edit().selectAll();
    QTest::keyClicks(&dialog.Edit(), "1200");
    QTest::qWait(400);  // the live reading never overwrites what the user types
    EXPECT_EQ(dialog.Edit().text(), "1200");
    QTest::mouseClick(&dialog.OkButton(), Qt::LeftButton);
    clock_.Advance(1s);
    QTest::qWait(150);
    EXPECT_TRUE(dialog.isVisible());
    clock_.Advance(500ms);
    QTest::qWait(150);
    EXPECT_FALSE(dialog.isVisible());
    result = dialog.result();
  });
  QTest::mouseClick(Button(RibbonCommand::Calibrate), Qt::LeftButton);
  ASSERT_EQ(Commands().size(), 1u);
  EXPECT_EQ(Commands()[0].second, 1200u);
  EXPECT_EQ(result, 3);
}

TEST_F(Calibrating, ANegativeMinimumIsRefusedAndTheLiveReadingFollowsTheCustomRadio) {
  const Device::QuorvaneDevice brake = *application_->SelectedRow();
  bool warned = false;
  WhenDialogOpens<Calibration::CalibrationDialog>([&](Calibration::CalibrationDialog& dialog) {
    dialog.CustomMinimum().click();
    dialog.CustomMinimum().setFocus();
    QTest::qWait(400);
    const auto readings = application_->ReadChannel(brake);
    EXPECT_EQ(dialog.Edit().text().toStdString(), std::to_string(readings.raw));
    EXPECT_GT(readings.raw, 0u);

    dialog.Edit().setText("-1");
    QTimer::singleShot(50, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        warned = box->text().contains("negative");
        box->accept();
      }
    });
    QTest::mouseClick(&dialog.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());  // still open, nothing sent
    dialog.reject();
  });
  QTest::mouseClick(Button(RibbonCommand::Calibrate), Qt::LeftButton);
  EXPECT_TRUE(warned);
  EXPECT_TRUE(Commands().empty());
}

TEST_F(Calibrating, AControllerPluggedInClosesTheDialog) {
  int result = -1;
  WhenDialogOpens<Calibration::CalibrationDialog>([&](Calibration::CalibrationDialog& dialog) {
    application_->OnDeviceChange(DeviceChange::Arrival);
    EXPECT_TRUE(Eventually([&] { return !dialog.isVisible(); }, 2s));
    result = dialog.result();
  });
  QTest::mouseClick(Button(RibbonCommand::Calibrate), Qt::LeftButton);
  EXPECT_EQ(result, 0);
}

TEST_F(Calibrating, ButtonAndDeviceLinesOfferNoCalibration) {
  ClickRow(0);
  EXPECT_FALSE(Button(RibbonCommand::Calibrate)->isEnabled());
  ClickRow(1);
  EXPECT_TRUE(Button(RibbonCommand::Calibrate)->isEnabled());
}

// Flashing for real, through the dialogs, with the real clock.
class Flashing : public CenterWithWindow<Platform::SystemClock> {
 protected:
  void SetUp() override {
    Testing::CopySampleServiceData(data_.Path());
    service_ = std::make_unique<Testing::LocalServiceProcess>(data_.Path());
    backend_.SetChangeListener([this] {
      if (application_) application_->OnDeviceChange(DeviceChange::Arrival);
    });
    Open(service_->Endpoint(), &ports_);
  }
  void TearDown() override {
    backend_.SetChangeListener({});
    CenterWithWindow::TearDown();
  }
  // Runs poll passes until the list shows this firmware for the single brake.
  bool ListShows(const QString& firmware) {
    return Eventually([&] {
      application_->PollPass();
      QTest::qWait(10);
      return window_->ListModel().rowCount() > 0 &&
             window_->ListModel().data(window_->ListModel().index(0, 3), Qt::DisplayRole).toString() == firmware;
    });
  }
  bool GalleryFilled(RibbonCommand gallery) {
    return Eventually([&] { return !window_->Ribbon().Menu(gallery)->actions().isEmpty(); });
  }
  // Follows a firmware dialog until it closes; OK is clicked once enabled.
  template <typename Dialog>
  void Follow(Dialog& dialog, std::vector<std::string>& statuses, std::string& output) {
    while (dialog.isVisible()) {
      const std::string status = dialog.Status().text().toStdString();
      if (statuses.empty() || statuses.back() != status) statuses.push_back(status);
      if (dialog.OkButton().isEnabled()) QTest::mouseClick(&dialog.OkButton(), Qt::LeftButton);
      QTest::qWait(20);
    }
    output = dialog.Output().toPlainText().toStdString();
  }

  Testing::TempFolder data_;
  std::unique_ptr<Testing::LocalServiceProcess> service_;
  Firmware::SimulatedSerialPortMap ports_;
  Firmware::SimulatedBootloaderHost host_{backend_, ports_};
};

TEST_F(Flashing, AChangeFromTheGalleryFlashesAndTheListShowsTheNewVersion) {
  ASSERT_TRUE(ListShows("v2.0"));
  ClickRow(0);
  ASSERT_TRUE(GalleryFilled(RibbonCommand::ChangeFirmware));
  std::vector<std::string> statuses;
  std::string output;
  bool outputShown = false;
  PickFromGallery<Firmware::FirmwareDialog>(RibbonCommand::ChangeFirmware, "Single Brake Firmware v2.1",
                                            [&](Firmware::FirmwareDialog& dialog) {
                                              EXPECT_FALSE(dialog.OkButton().isEnabled());
                                              Follow(dialog, statuses, output);
                                              outputShown = !dialog.Output().isHidden();
                                            });
  EXPECT_EQ(statuses.front(), "Step 1 of 2: Reset Controller... Will try and Detect COM port...");
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Step 2 of 2: Updating Firmware..."), statuses.end());
  EXPECT_TRUE(outputShown);
  EXPECT_NE(output.find("bytes of flash verified"), std::string::npos) << output;
  EXPECT_TRUE(ListShows("v2.1"));
}

// The ribbon's Update Firmware for a controller with a newer firmware in the catalogue: the list
// stands still while the controller leaves and comes back, and follows afterwards.
TEST_F(Flashing, UpdateFirmwareFromTheRibbonFlashesThePendingFirmwareWhileTheListWaits) {
  ASSERT_TRUE(ListShows("v2.0"));
  ClickRow(0);
  ASSERT_TRUE(Eventually([&] { return Button(RibbonCommand::UpdateFirmware)->isEnabled(); }));
  std::vector<std::string> statuses;
  std::string output;
  WhenDialogOpens<Firmware::FirmwareDialog>([&](Firmware::FirmwareDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Update Firmware to v2.1");
    EXPECT_TRUE(dialog.Progress().isVisible());
    EXPECT_TRUE(application_->busy);
    Follow(dialog, statuses, output);
  });
  QTest::mouseClick(Button(RibbonCommand::UpdateFirmware), Qt::LeftButton);
  EXPECT_FALSE(application_->busy);
  EXPECT_NE(output.find("bytes of flash verified"), std::string::npos) << output;
  EXPECT_TRUE(ListShows("v2.1"));
}

TEST_F(Flashing, ARefusedFlashSaysSoAndTheServiceGetsTheErrorLog) {
  ASSERT_TRUE(ListShows("v2.0"));
  host_.SetOptions({.refuseWrites = true});
  ClickRow(0);
  ASSERT_TRUE(GalleryFilled(RibbonCommand::ChangeFirmware));
  std::vector<std::string> statuses;
  std::string output;
  PickFromGallery<Firmware::FirmwareDialog>(RibbonCommand::ChangeFirmware, "Single Brake Firmware v2.1",
                                            [&](Firmware::FirmwareDialog& dialog) { Follow(dialog, statuses, output); });
  EXPECT_EQ(statuses.back(), "Firmware Update Failed!");
  EXPECT_TRUE(std::filesystem::exists(data_.File("errorlogs/1.xml")));
}

TEST_F(Flashing, CrashRecoveryFromTheGalleryCatchesTheBootloaderAfterAManualReset) {
  ASSERT_TRUE(GalleryFilled(RibbonCommand::CrashRecovery));
  backend_.Unplug("sim/single-brake");  // crashed: no longer a HID device
  std::vector<std::string> statuses;
  std::string output;
  PickFromGallery<Firmware::RecoveryDialog>(RibbonCommand::CrashRecovery, "Single Brake Firmware v2.1",
                                            [&](Firmware::RecoveryDialog& dialog) {
    EXPECT_EQ(dialog.Status().text(), "Click OK to start recovering firmware...");
    EXPECT_TRUE(dialog.SecureBox().isChecked());
    EXPECT_FALSE(dialog.SecureBox().isEnabled());
    QTest::mouseClick(&dialog.OkButton(), Qt::LeftButton);
    dialog.reject();  // Escape does nothing once started
    EXPECT_TRUE(dialog.isVisible());
    QTest::qWait(1200);
    host_.HardwareReset("sim/single-brake");
    Follow(dialog, statuses, output);
  });
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Recovering Device... Working..."), statuses.end());
  EXPECT_TRUE(ListShows("v2.1"));
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
