// quorvane-controller-twin: the controllers of a description file as real kernel devices, for
// the USB lab. See twin.h.
//   quorvane-controller-twin DESCRIPTION.xml [--crashed SERIAL]... [--interrupt-output]
//                            [--short-reports] [--wrong-report-id] [--vanish-mid-flash]
//                            [--nested-collection] [--refuse-reset] [--late-reports]
//                            [--no-bootloader] [--late-bootloader] [--no-exit-grace]
//                            [--interrupt-output-only]
// Prints a line per event: "hid SERIAL NAME MAJOR.MINOR" when a controller's HID device is up,
// "command SERIAL set-report|interrupt BYTES" per output report taken, "refused SERIAL
// set-report|interrupt BYTES" per output report refused, "bootloader SERIAL PORT" when its
// bootloader is up, "crashed SERIAL", "ready", "stalled" / "answering". SIGUSR1 presses the reset
// button of the crashed controllers; SIGUSR2 stops every controller answering GET_REPORT requests,
// and starts it again; SIGTERM ends.
#include <iostream>
#include <stdexcept>
#include <string>

#include "tools/controller-twin/twin.h"

int main(int argc, char** argv) {
  using namespace Quorvane;
  if (argc < 2) {
    std::cerr << "usage: quorvane-controller-twin DESCRIPTION.xml [--crashed SERIAL]... "
                 "[--interrupt-output] "
                 "[--short-reports] [--wrong-report-id] [--vanish-mid-flash] [--nested-collection] "
                 "[--refuse-reset] [--late-reports] [--no-bootloader] [--late-bootloader] "
                 "[--no-exit-grace] [--interrupt-output-only]\n";
    return 2;
  }
  Twin::TwinOptions options;
  for (int index = 2; index < argc; ++index) {
    const std::string argument = argv[index];
    if (argument == "--interrupt-output") {
      options.acceptInterruptOutput = true;
    } else if (argument == "--interrupt-output-only") {
      options.interruptOutputOnly = true;
    } else if (argument == "--late-bootloader") {
      options.bootloaderDelayMs = 15000;  // past the 10 s the center waits for it
    } else if (argument == "--no-exit-grace") {
      options.noExitGrace = true;
    } else if (argument == "--no-bootloader") {
      options.noBootloader = true;
    } else if (argument == "--late-reports") {
      options.lateReportsMs = 400;
    } else if (argument == "--refuse-reset") {
      options.refuseReset = true;
    } else if (argument == "--nested-collection") {
      options.nestedCollection = true;
    } else if (argument == "--vanish-mid-flash") {
      options.vanishAfterBytes = 1024;
    } else if (argument == "--short-reports") {
      options.shortReportBytes = 10;
    } else if (argument == "--wrong-report-id") {
      options.wrongReportId = true;
    } else if (argument == "--crashed" && index + 1 < argc) {
      options.crashed.insert(argv[++index]);
    } else {
      std::cerr << "quorvane-controller-twin: unknown argument '" << argument << "'\n";
      return 2;
    }
  }
  try {
    Twin::ControllerTwin twin(Device::SimulatedBackend::ReadDescriptionFile(argv[1]), options);
    return twin.Run();
  } catch (const std::exception& error) {
    std::cerr << "quorvane-controller-twin: " << error.what() << "\n";
    return 1;
  }
}
