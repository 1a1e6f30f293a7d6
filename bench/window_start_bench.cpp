// From the center's start-up to its first painted window, on Qt's offscreen platform with the
// demo's simulated controllers and the stand-in service (target: under 300 ms). Timed from the
// center's start-up (stores, settings, enumeration, lookups) through the window's creation to
// the first paint of the controller list. The baseline, in the same run, is a plain main window
// with a tree view of as many lines and columns, shown until its first paint.
//
//   bench_window_start [runs, default 10]
#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QStandardItemModel>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "center/app/application.h"
#include "center/app/device_list_view.h"
#include "center/app/live_value_buffer.h"
#include "center/app/main_window.h"
#include "center/app/qt_center_view.h"
#include "center/device/simulated_backend.h"
#include "tests/support/local_service.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using Clock = std::chrono::steady_clock;

// Notes the first paint of a widget.
class FirstPaint final : public QObject {
 public:
  explicit FirstPaint(QWidget& widget) { widget.installEventFilter(this); }
  bool Painted() const { return painted_; }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted_ = true;
    return false;
  }

 private:
  bool painted_ = false;
};

void AwaitPaint(const FirstPaint& paint) {
  while (!paint.Painted())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 5);
}

double Milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::vector<Device::SimulatedController> Demo() {
  return Device::SimulatedBackend::ReadDescriptionFile(std::string(QUORVANE_SIMULATED_DIR) +
                                                       "/demo.xml");
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const auto qtStart = Clock::now();
  QApplication application(argc, argv);
  const double qtMilliseconds = Milliseconds(Clock::now() - qtStart);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

  Testing::TempFolder data;
  Testing::CopySampleServiceData(data.Path());
  Testing::LocalServiceProcess service(data.Path());

  std::vector<double> baseline;
  for (int run = 0; run < runs; ++run) {
    const auto start = Clock::now();
    QMainWindow window;
    auto* model = new QStandardItemModel(9, 4, &window);
    for (int row = 0; row < 9; ++row) {
      for (int column = 0; column < 4; ++column)
        model->setItem(row, column, new QStandardItem(QStringLiteral("Brake")));
    }
    auto* list = new QTreeView;
    list->setModel(model);
    window.setCentralWidget(list);
    const FirstPaint paint(*list->viewport());
    window.resize(950, 380);
    window.show();
    AwaitPaint(paint);
    baseline.push_back(Milliseconds(Clock::now() - start));
  }

  std::vector<double> center;
  for (int run = 0; run < runs; ++run) {
    Testing::TempFolder root;
    Platform::KnownFolders folders{root.File("data"), root.Path() + "/", root.Path() + "/",
                                   root.Path()};
    Platform::SystemClock clock;
    Device::SimulatedBackend backend(Demo(), clock);
    Diagnostics::RecordingEventLog log;
    Diagnostics::RecordingUserNotifier notifier;
    Center::LiveValueBuffer values;

    const auto start = Clock::now();
    Center::CApplication core({folders, {service.Endpoint()}, backend, log, notifier, clock});
    core.StartUp("");
    Center::MainWindow window(core, values, {1, 0, 0, 0});
    const FirstPaint paint(*window.List().viewport());
    Center::QtCenterView view(window, values);
    window.ShowAtStart();
    window.RebuildListDisplay();
    core.StartPollThread(view);
    AwaitPaint(paint);
    center.push_back(Milliseconds(Clock::now() - start));
    core.Shutdown();
  }

  const double baselineMedian = Median(baseline);
  const double centerMedian = Median(center);
  std::printf("toolkit start (once): %.1f ms\n", qtMilliseconds);
  std::printf("baseline, plain list window to first paint: %.1f ms (median of %d)\n",
              baselineMedian, runs);
  std::printf(
      "center start-up to first painted list:      %.1f ms (median of %d; %.1fx baseline; target < "
      "300 ms)\n",
      centerMedian, runs, centerMedian / baselineMedian);
  return centerMedian < 300 ? 0 : 1;
}
