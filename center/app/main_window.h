// The center's main window: the ribbon, the controller list with its live value bars, the
// status bar, the running time in the title and the tray icon. It carries out the ribbon's
// commands through the center's core and shows what the core tells it; the rules live in the
// core (RibbonState, the list lines, the live value buffer).
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

#include "center/app/application.h"
#include "center/app/live_value_buffer.h"
#include "center/app/ribbon_state.h"
#include "common/platform/file_version.h"
#include "common/platform/task_group.h"
#include "common/ui/colour_cycle.h"

namespace Quorvane::Center {

class DeviceListModel;
class DeviceListView;
class RibbonBar;
class StatusBar;
class TrayIcon;
class WindowUpdateView;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  MainWindow(CApplication& application, LiveValueBuffer& liveValues, Platform::FileVersion version,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  static constexpr int kInitialWidth = 950;
  static constexpr int kInitialHeight = 380;
  // Live values reach the bars at most this often: 30 times a second, smooth to the eye, every
  // second frame of a 60 Hz display, and within the window's CPU budget (about 2 % of a core
  // with 28 lines moving, where 60 a second take 3.5 %).
  static constexpr int kFrameIntervalMs = 33;

  // Sized 950 × 380, centred on the primary screen, shown, topmost when the settings say so.
  void ShowAtStart();

  // What the core tells the window (on the window thread).
  void RebuildListDisplay();
  void SetStatusText(int part, const std::string& text);
  void RefreshRibbon(RibbonSelection selection);
  void RefreshGalleries();

  // Every command of the ribbon, with the parameter it carries.
  void Execute(RibbonCommand command, int parameter);
  // Ends the program (the ribbon's Exit, the tray's Exit after the question).
  void Quit();
  // The tray's Exit: asks first; No keeps the program running.
  void AskAndQuit();
  // Shows and raises the window (the tray's Open, a double-click on the icon).
  void ShowFromTray();
  // The status bar's progress bar while the update work runs: marquee, colours cycling.
  void ShowUpdateProgress(bool running);
  // The picture "Capture Window" takes: the window's content.
  QPixmap Picture();

  RibbonBar& Ribbon() { return *ribbon_; }
  DeviceListView& List() { return *list_; }
  DeviceListModel& ListModel() { return *model_; }
  StatusBar& Status() { return *status_; }
  TrayIcon& Tray() { return *tray_; }
  int FramesPainted() const { return framesPainted_; }
  bool Quitting() const { return quitting_; }

 protected:
  // Commands that other parts of the center carry out. Each opens its dialog or runs its task;
  // the window only routes to them.
  virtual void OpenCalibration();
  virtual void OpenFirmwareChange(int item);
  virtual void OpenFirmwareUpdate();
  virtual void OpenCrashRecovery(int item);
  virtual void OpenCustomFirmware();
  virtual void OpenFeedback();
  virtual void OpenMessages();
  virtual void CaptureToClipboard();
  virtual void CaptureToFile();
  virtual void CheckForUpdates();
  virtual void UpdateUpdater();

  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  // The poll thread reads live values only while a window of the center is active.
  void UpdateInactive();
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

  CApplication& application_;
  Platform::FileVersion version_;

 private:
  void OnRowClicked(int row);
  void OnNothingClicked();
  void ApplyLiveValues();
  void UpdateFrameTimer();
  void ApplyTopMost(bool on);
  void ShowAbout();
  // The trace view of the selected line's controller, beside the window.
  void OpenTrace();
  void Refresh();
  void TickTitle();
  // The progress bar's colours while the update work runs: process-wide, from the second entry.
  static Ui::ColourCycle& UpdateColours();
  void SetUpdateBarColour(Ui::Rgb colour);

  LiveValueBuffer& liveValues_;
  std::uint64_t listGeneration_ = 0;
  RibbonBar* ribbon_;
  DeviceListModel* model_;
  DeviceListView* list_;
  StatusBar* status_;
  TrayIcon* tray_;
  QTimer titleTimer_;
  QTimer frameTimer_;
  std::string baseTitle_;
  std::uint64_t runningMilliseconds_ = 0;
  RibbonSelection selection_ = RibbonSelection::None;
  int framesPainted_ = 0;
  bool quitting_ = false;
  QPointer<QDialog> about_;
  std::unique_ptr<WindowUpdateView> updateView_;
  QTimer updateColourTimer_;
  Platform::TaskGroup updateTasks_;  // the check and the updater's own update
};

}  // namespace Quorvane::Center
