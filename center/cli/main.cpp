// kestrane-cli: the Quorvane center's work from a terminal, for scripts, headless rigs and remote
// sessions, on the center's own cores. `kestrane-cli --help` and `man kestrane-cli` tell more.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "center/cli/cli_commands.h"
#include "common/diagnostics/hvx_exception.h"
#include "common/diagnostics/system_error_text.h"
#include "common/platform/clock.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Cli;

constexpr const char* kExitCodes =
    "Exit codes: 0 success, 1 failure, 2 usage error (a bad option, unknown serial number, channel "
    "or version),\n"
    "3 no controller connected, 4 the service did not answer, 5 the controller refused "
    "(calibration or flash),\n"
    "6 the center is running (it alone changes controllers while it runs),\n"
    "7 a load cell is not steady (health).";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "The Quorvane center's work from a terminal: controllers, live values, calibration, "
      "firmware, "
      "messages, feedback and updates.",
      "kestrane-cli"};
  app.footer(kExitCodes);
  app.require_subcommand(1);

  bool json = false;
  auto* list = app.add_subcommand(
      "list",
      "Every controller: name, kind, serial number, firmware, channels, buttons, "
      "and the firmware update its list offers");
  list->add_flag("--json", json, "Print JSON");

  std::optional<std::string> watchSerial;
  auto* watch = app.add_subcommand(
      "watch", "Live values until Ctrl-C: bars on a terminal, else a line per change");
  watch->add_option("SERIAL", watchSerial, "Only this controller");
  watch->add_flag("--json", json, "Print a JSON object per change");

  std::string serial;
  int healthSeconds = 2;
  auto* health = app.add_subcommand(
      "health",
      "Measure a controller's load cells at rest and tell each one's noise, extremes and "
      "verdict; exit 7 when one is not steady");
  health->add_option("SERIAL", serial, "The controller's serial number")->required();
  health->add_option("--seconds", healthSeconds, "How long to measure (at least 2)")
      ->check(CLI::Range(2, 3600));

  std::optional<int> traceSeconds;
  auto* trace = app.add_subcommand(
      "trace",
      "Follow a controller's load cells live: a sparkline of the last ten seconds and each "
      "one's health, until Ctrl-C");
  trace->add_option("SERIAL", serial, "The controller's serial number")->required();
  trace->add_option("--seconds", traceSeconds, "End after this long")->check(CLI::Range(1, 86400));
  trace->add_flag("--json", json, "Print a JSON object per channel and second");

  std::string channel;
  std::string what;
  bool confirmed = false;
  auto* calibrate =
      app.add_subcommand("calibrate",
                         "Calibrate a channel: its minimum at rest ('min'), its maximum "
                         "('max'), or a custom minimum in raw units ('min=VALUE')");
  calibrate->add_option("SERIAL", serial, "The controller's serial number")->required();
  calibrate->add_option("CHANNEL", channel, "The channel's name (Brake, Clutch, ...) or index")
      ->required();
  calibrate->add_option("WHAT", what, "min, max or min=VALUE")->required();
  calibrate->add_flag("--yes", confirmed,
                      "Send a custom minimum above the present maximum without asking");

  FirmwareRequest firmware;
  bool secure = false;
  bool plain = false;
  auto* firmwareCommand =
      app.add_subcommand("firmware", "Flash firmware through the controller's bootloader");
  firmwareCommand->require_subcommand(1);
  firmwareCommand->add_flag("--verbose", firmware.verbose, "Show the flashing tool's output");
  auto* update = firmwareCommand->add_subcommand(
      "update", "Flash the newest firmware offered above the running one");
  update->add_option("SERIAL", firmware.target, "The controller's serial number")->required();
  auto* change =
      firmwareCommand->add_subcommand("change", "Flash a firmware of the controller's list");
  change->add_option("SERIAL", firmware.target, "The controller's serial number")->required();
  change->add_option("VERSION", firmware.version, "The version, as 2.1 or 2.1.0.0")->required();
  auto* recover = firmwareCommand->add_subcommand(
      "recover", "Recover a crashed controller: reset it by hand when asked");
  recover->add_option("KIND", firmware.target, "The firmware's name, as QV-Single")->required();
  recover->add_option("VERSION", firmware.version, "The version, as 2.1 or 2.1.0.0")->required();
  recover->add_flag("--secure", secure, "Write the image scrambled (Secure Crash Recovery)");
  recover->add_flag("--plain", plain, "Write the image plain");
  for (auto* sub : {update, change, recover})
    sub->add_flag("--verbose", firmware.verbose, "Show the flashing tool's output");

  auto* messages = app.add_subcommand("messages", "The maker's messages");
  std::string title;
  std::string text;
  auto* feedback = app.add_subcommand("feedback", "Your feedback to the maker and its replies");
  feedback->require_subcommand(1);
  auto* feedbackList = feedback->add_subcommand("list", "The feedback sent and the replies");
  auto* feedbackSend = feedback->add_subcommand("send", "Send a feedback");
  feedbackSend->add_option("TITLE", title, "Its title")->required();
  feedbackSend->add_option("TEXT", text, "Its text")->required();
  auto* checkUpdates =
      app.add_subcommand("check-updates", "Ask the updater for new versions of the programs");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return kUsage;
  }
  if (secure && plain) {
    std::cerr << "--secure and --plain exclude each other.\n";
    return kUsage;
  }
  if (secure || plain) firmware.secure = secure;

  const auto environment = Platform::ProcessEnvironment();
  Diagnostics::SyslogEventLog eventLog(
      environment(Diagnostics::kSyslogSocketVariable).value_or(""));
  Platform::SystemClock clock;
  try {
    CliSession session(environment, Platform::DiscoverKnownFolders(), eventLog, clock);
    const CommandIo io{std::cout, std::cerr, STDOUT_FILENO};
    if (*list) return ListCommand(session, io, json);
    if (*watch) return WatchCommand(session, io, watchSerial, json);
    if (*health) return HealthCommand(session, io, serial, healthSeconds);
    if (*trace) return TraceCommand(session, io, serial, traceSeconds, json);
    if (*calibrate) return CalibrateCommand(session, io, serial, channel, what, confirmed);
    if (*firmwareCommand) {
      firmware.action = *update   ? FirmwareAction::Update
                        : *change ? FirmwareAction::Change
                                  : FirmwareAction::Recover;
      return FirmwareCommand(session, io, firmware);
    }
    if (*messages) return MessagesCommand(session, io);
    if (*feedbackList) return FeedbackListCommand(session, io);
    if (*feedbackSend) return FeedbackSendCommand(session, io, title, text);
    if (*checkUpdates) return CheckUpdatesCommand(session, io);
  } catch (const Halvex::Exceptions::HvxException& error) {
    // Its what() says only "Unknown exception": the message says what went wrong.
    std::cerr << "kestrane-cli: " << error.Message()
              << (error.ErrorCode() != 0
                      ? " (" + Halvex::Exceptions::GetWin32ErrorMessage(error.ErrorCode()) + ")"
                      : "")
              << "\n";
  } catch (const std::exception& error) {
    std::cerr << "kestrane-cli: " << error.what() << "\n";
  }
  return kFailure;
}
