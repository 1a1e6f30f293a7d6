// The center's CPU use with its window on a real X display (run it under xvfb-run), four
// simulated quad controllers moving (28 lines): for a phase with the window shown and active
// (target: under 3 % of one core), one with the trace of the first quad open beside it as well
// (target: under 3 %, and its ratio to the window alone), and one with the window hidden in the
// tray (target: under 0.5 %);
// and the frames the list painted per second meanwhile (at most 60). The baseline, in the same
// run, is the same center without a window (its poll loop and workers only).
//
//   xvfb-run bench_window_cpu [seconds per phase, default 10]
#include <sys/resource.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "center/app/application.h"
#include "center/app/live_value_buffer.h"
#include "center/app/main_window.h"
#include "center/app/qt_center_view.h"
#include "center/app/trace_dialog.h"
#include "center/device/simulated_backend.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for the phase; the share of one core the process used meanwhile.
double CoreShareOver(std::chrono::seconds phase) {
  const double cpuBefore = CpuSeconds();
  const auto before = Clock::now();
  QEventLoop loop;
  QTimer::singleShot(phase, &loop, &QEventLoop::quit);
  loop.exec();
  const double elapsed = std::chrono::duration<double>(Clock::now() - before).count();
  return (CpuSeconds() - cpuBefore) / elapsed;
}

std::vector<Device::SimulatedController> FourQuads() {
  const auto quad = Device::SimulatedBackend::ReadDescriptionFile(
                        std::string(QUORVANE_SIMULATED_DIR) + "/quad-buttons.xml")
                        .at(0);
  std::vector<Device::SimulatedController> controllers(4, quad);
  for (std::size_t index = 0; index < controllers.size(); ++index) {
    controllers[index].path = "sim/quad-" + std::to_string(index);
    controllers[index].serial = "QVB-" + std::to_string(index);
  }
  return controllers;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) {
    std::fprintf(stderr, "bench_window_cpu needs an X display: run it under xvfb-run\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication toolkit(argc, argv);
  const auto phase = std::chrono::seconds(argc > 1 ? std::max(1, std::atoi(argv[1])) : 10);

  Testing::TempFolder root;
  Platform::KnownFolders folders{root.File("data"), root.Path() + "/", root.Path() + "/",
                                 root.Path()};
  Platform::SystemClock clock;
  Device::SimulatedBackend backend(FourQuads(), clock);
  Diagnostics::RecordingEventLog log;
  Diagnostics::RecordingUserNotifier notifier;
  double baseline = 0;
  {
    // No service: the lookups and workers fail at once and then sleep.
    Center::CApplication headless(
        {folders, {"http://127.0.0.1:1/x"}, backend, log, notifier, clock});
    headless.StartUp("");
    Center::NoCenterView nothing;
    headless.StartPollThread(nothing);
    CoreShareOver(std::chrono::seconds(1));
    baseline = CoreShareOver(phase);
    headless.Shutdown();
  }

  Center::LiveValueBuffer values;
  Center::CApplication core({folders, {"http://127.0.0.1:1/x"}, backend, log, notifier, clock});
  core.StartUp("");
  Center::MainWindow window(core, values, {1, 0, 0, 0});
  Center::QtCenterView view(window, values);
  window.ShowAtStart();
  window.RebuildListDisplay();
  window.activateWindow();
  core.StartPollThread(view);
  CoreShareOver(std::chrono::seconds(1));
  // Without a window manager the display may not hand the window the focus: it counts as the
  // active window here, as it is when the user looks at it.
  core.SetWindowActive(true);
  const int framesBefore = window.FramesPainted();
  const double shown = CoreShareOver(phase);
  const double framesPerSecond =
      (window.FramesPainted() - framesBefore) / static_cast<double>(phase.count());

  core.SelectRow(1);
  auto* trace = new Center::TraceDialog(core, *core.SelectedRow(), &window);
  trace->show();
  CoreShareOver(std::chrono::seconds(1));
  core.SetWindowActive(true);
  const double traced = CoreShareOver(phase);
  trace->close();

  window.hide();  // into the tray
  CoreShareOver(std::chrono::seconds(1));
  const double hidden = CoreShareOver(phase);
  core.Shutdown();

  std::printf("lines: %zu, phase: %lld s\n", core.Devices().rows.size(),
              static_cast<long long>(phase.count()));
  std::printf("baseline, the center without a window: %.3f %% of one core\n", 100 * baseline);
  std::printf(
      "center, window shown and active:  %.3f %% of one core (%.1fx baseline; target < 3 %%)\n",
      100 * shown, shown / baseline);
  std::printf(
      "center, window and trace shown:   %.3f %% of one core (%.2fx the window alone; target < 3 "
      "%%)\n",
      100 * traced, traced / shown);
  std::printf(
      "center, window hidden in the tray: %.3f %% of one core (%.1fx baseline; target < 0.5 %%)\n",
      100 * hidden, hidden / baseline);
  std::printf("frames painted per second while values move: %.1f (target <= 60)\n",
              framesPerSecond);
  return shown < 0.03 && traced < 0.03 && hidden < 0.005 && framesPerSecond <= 60.5 ? 0 : 1;
}
