#include "center/app/main_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

#include "center/app/about_dialog.h"
#include "center/app/center_resources.h"
#include "center/app/center_texts.h"
#include "center/app/device_list_model.h"
#include "center/app/device_list_view.h"
#include "center/app/list_display.h"
#include "center/app/ribbon_bar.h"
#include "center/app/status_bar.h"
#include "center/app/trace_dialog.h"
#include "center/app/tray_icon.h"
#include "center/app/window_update_view.h"

namespace Quorvane::Center {

MainWindow::MainWindow(CApplication& application, LiveValueBuffer& liveValues,
                       Platform::FileVersion version, QWidget* parent)
    : QMainWindow(parent),
      application_(application),
      version_(version),
      liveValues_(liveValues),
      ribbon_(new RibbonBar),
      model_(new DeviceListModel(this)),
      list_(new DeviceListView(*model_)),
      status_(new StatusBar),
      tray_(new TrayIcon(this)),
      baseTitle_(BaseWindowTitle(version)) {
  EnsureCenterResources();
  // A Wayland compositor lets no client keep itself above the others: the toggle says so.
  application_.SetWindowsCanStayOnTop(!QGuiApplication::platformName().startsWith("wayland"));
  setObjectName(QString::fromLatin1(kWindowClassName));
  setWindowIcon(QIcon(QStringLiteral(":/icons/kestrane.svg")));
  setWindowTitle(QString::fromStdString(WindowTitle(baseTitle_, 0)));

  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(ribbon_);
  layout->addWidget(list_, 1);
  layout->addWidget(status_);
  setCentralWidget(central);

  connect(ribbon_, &RibbonBar::Executed, this, &MainWindow::Execute);
  connect(list_, &DeviceListView::RowClicked, this, &MainWindow::OnRowClicked);
  connect(list_, &DeviceListView::NothingClicked, this, &MainWindow::OnNothingClicked);
  // A double click on a line opens its controller's trace.
  connect(list_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    OnRowClicked(index.row());
    OpenTrace();
  });
  connect(tray_, &TrayIcon::OpenRequested, this, &MainWindow::ShowFromTray);
  connect(tray_, &TrayIcon::ExitRequested, this, &MainWindow::AskAndQuit);

  titleTimer_.setInterval(1000);
  connect(&titleTimer_, &QTimer::timeout, this, &MainWindow::TickTitle);
  titleTimer_.start();
  frameTimer_.setInterval(kFrameIntervalMs);
  connect(&frameTimer_, &QTimer::timeout, this, &MainWindow::ApplyLiveValues);
  list_->viewport()->installEventFilter(this);

  for (const auto key : {Qt::Key_Question, Qt::Key_Slash}) {
    connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this,
            &MainWindow::ShowAbout);
  }

  // Live values are read while any window of the center is in front: the main window, or one of
  // its dialogs and message boxes over it.
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this] { UpdateInactive(); });

  updateView_ = std::make_unique<WindowUpdateView>(*this);
  updateColourTimer_.setInterval(1000);
  connect(&updateColourTimer_, &QTimer::timeout, this,
          [this] { SetUpdateBarColour(UpdateColours().Next()); });

  application_.ClearSelection();
  RefreshRibbon(RibbonSelection::None);
}

MainWindow::~MainWindow() {
  // The update work may still wait for the window; it must not any more.
  updateView_->Close();
  updateTasks_.JoinAll();
}

void MainWindow::ShowAtStart() {
  resize(kInitialWidth, kInitialHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.left() + (area.width() - kInitialWidth) / 2,
         area.top() + (area.height() - kInitialHeight) / 2);
  }
  ApplyTopMost(application_.Settings().Values().topMostWindow);
  list_->setFocus();  // the keyboard starts in the list: arrows pick a row, Alt and a key a command
  show();
  UpdateInactive();
}

void MainWindow::UpdateInactive() {
  application_.SetWindowActive(isVisible() &&
                               QGuiApplication::applicationState() == Qt::ApplicationActive);
}

void MainWindow::RebuildListDisplay() {
  RefreshRibbon(RibbonSelection::None);
  application_.ClearSelection();
  std::vector<ListLine> lines;
  {
    auto& devices = application_.Devices();
    std::lock_guard lock(devices.listLock);
    lines = BuildListLines(devices.rows);
    listGeneration_ = liveValues_.ListGeneration();
  }
  model_->Reset(std::move(lines));
  list_->Unselect();
}

void MainWindow::SetStatusText(int part, const std::string& text) {
  status_->SetText(part, QString::fromStdString(text));
}

void MainWindow::RefreshRibbon(RibbonSelection selection) {
  selection_ = selection;
  ribbon_->Apply(application_.CurrentRibbonState(selection));
}

void MainWindow::RefreshGalleries() { RefreshRibbon(selection_); }

void MainWindow::Execute(RibbonCommand command, int parameter) {
  // Using the ribbon makes the window the active one.
  application_.SetWindowActive(true);
  switch (command) {
    case RibbonCommand::Exit:
      Quit();
      break;
    case RibbonCommand::Refresh:
      Refresh();
      break;
    case RibbonCommand::Calibrate:
      OpenCalibration();
      break;
    case RibbonCommand::Reset:
      application_.ResetSelectedRow();
      break;
    case RibbonCommand::CheckForUpdates:
      CheckForUpdates();
      break;
    case RibbonCommand::UpdateUpdater:
      UpdateUpdater();
      break;
    case RibbonCommand::About:
      ShowAbout();
      break;
    case RibbonCommand::Trace:
      OpenTrace();
      break;
    case RibbonCommand::EnableBetaSoftware:
      application_.SetEnableBetaSoftware(parameter != 0);
      RefreshRibbon(selection_);
      break;
    case RibbonCommand::TopMostWindow:
      ApplyTopMost(application_.ToggleTopMostWindow());
      RefreshRibbon(selection_);
      break;
    case RibbonCommand::SecureCrashRecovery:
      application_.ToggleSecureCrashRecovery();
      RefreshRibbon(selection_);
      break;
    case RibbonCommand::UpdateFirmware:
      // The controller leaves and comes back while the dialog is open; the list follows after.
      application_.SetFirmwareUpdateOpen(true);
      OpenFirmwareUpdate();
      application_.SetFirmwareUpdateOpen(false);
      Refresh();
      break;
    case RibbonCommand::ChangeFirmware:
      OpenFirmwareChange(parameter);
      break;
    case RibbonCommand::CrashRecovery:
      OpenCrashRecovery(parameter);
      break;
    case RibbonCommand::UploadCustomFirmware:
      OpenCustomFirmware();
      break;
    case RibbonCommand::Feedback:
      OpenFeedback();
      break;
    case RibbonCommand::Messages:
      OpenMessages();
      break;
    // The capture waits for the ribbon's menu to close.
    case RibbonCommand::CaptureToClipboard:
      QTimer::singleShot(500, this, &MainWindow::CaptureToClipboard);
      break;
    case RibbonCommand::CaptureToFile:
      QTimer::singleShot(500, this, &MainWindow::CaptureToFile);
      break;
    default:
      break;
  }
}

void MainWindow::Refresh() {
  list_->Unselect();
  application_.RequestRefresh();
  RefreshRibbon(RibbonSelection::None);
}

void MainWindow::OpenTrace() {
  if (const auto row = application_.SelectedRow()) {
    auto* trace = new TraceDialog(application_, *row, this);
    trace->show();
  }
}

void MainWindow::OnRowClicked(int row) {
  RefreshRibbon(application_.SelectRow(static_cast<std::size_t>(row)));
}

void MainWindow::OnNothingClicked() {
  application_.ClearSelection();
  RefreshRibbon(RibbonSelection::None);
}

void MainWindow::ApplyLiveValues() {
  int first = -1;
  int last = -1;
  for (const auto& [row, value] : liveValues_.Take(listGeneration_)) {
    if (model_->SetValue(row, value)) {
      const int line = static_cast<int>(row);
      first = first < 0 ? line : std::min(first, line);
      last = std::max(last, line);
    }
  }
  if (first >= 0) {
    list_->RedrawValues(first, last);
    list_->AnnounceCurrentValue();
  }
}

void MainWindow::UpdateFrameTimer() {
  // Nothing is painted while the window is hidden or minimised.
  if (isVisible() && !isMinimized()) {
    if (!frameTimer_.isActive()) frameTimer_.start();
  } else {
    frameTimer_.stop();
  }
}

void MainWindow::ApplyTopMost(bool on) {
  on = on && application_.WindowsCanStayOnTop();
  if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) {
    return;
  }
  const bool visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (visible) {
    show();  // changing the flags hides the window
  }
}

void MainWindow::ShowAbout() {
  if (about_) {
    about_->raise();
    return;
  }
  auto* dialog = new AboutDialog(version_, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  about_ = dialog;
  QPointer<QDialog> guarded(dialog);
  const int listener = application_.AddDeviceChangeListener([guarded] {
    QMetaObject::invokeMethod(
        guarded,
        [guarded] {
          if (guarded) guarded->reject();
        },
        Qt::QueuedConnection);
  });
  connect(dialog, &QDialog::finished, this,
          [this, listener] { application_.RemoveDeviceChangeListener(listener); });
  dialog->open();
}

void MainWindow::TickTitle() {
  runningMilliseconds_ += 1000;
  setWindowTitle(QString::fromStdString(WindowTitle(baseTitle_, runningMilliseconds_)));
}

void MainWindow::Quit() {
  quitting_ = true;
  close();
  QCoreApplication::quit();
}

void MainWindow::AskAndQuit() {
  const auto answer = QMessageBox::question(this, QString::fromLatin1(kExitCaption),
                                            QString::fromLatin1(kExitQuestion),
                                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  if (answer == QMessageBox::Yes) {
    Quit();
  }
}

void MainWindow::ShowFromTray() {
  if (isMinimized()) {
    showNormal();
  } else {
    show();
  }
  raise();
  activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (quitting_) {
    event->accept();
    return;
  }
  // Closing keeps the program running in the tray. A desktop without a tray would leave no way
  // back to a hidden window, so there the window is minimised instead.
  event->ignore();
  if (TrayIcon::Available()) {
    hide();
  } else {
    showMinimized();
  }
}

void MainWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowStateChange) {
    UpdateFrameTimer();
  }
  QMainWindow::changeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  UpdateInactive();
  UpdateFrameTimer();
}

void MainWindow::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  UpdateInactive();
  UpdateFrameTimer();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() && event->type() == QEvent::Paint) {
    ++framesPainted_;
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace Quorvane::Center
