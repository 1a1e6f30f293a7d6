// The commands of kestrane-cli, each on the center's own cores. Every command writes what it
// shows to `out`, what went wrong to `err`, and returns one of the exit codes of cli_session.h.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "center/cli/cli_session.h"

namespace Quorvane::Cli {

struct CommandIo {
  std::ostream& out;
  std::ostream& err;
  int outFd;  // the descriptor behind `out`: a terminal gets bars and a progress line
};

int ListCommand(CliSession& session, const CommandIo& io, bool json);
// Until Ctrl-C or SIGTERM; redraws at most 30 times a second.
int WatchCommand(CliSession& session, const CommandIo& io, const std::optional<std::string>& serial,
                 bool json);

// Measures the controller's load cells at rest for `seconds` and prints each one's health;
// kUnsteady when one is not steady.
int HealthCommand(CliSession& session, const CommandIo& io, const std::string& serial, int seconds);

// Follows the controller's load cells live: a sparkline of the last ten seconds and the health
// line per channel on a terminal, else a line (or a JSON object) per channel and second; until
// Ctrl-C, or for `seconds`.
int TraceCommand(CliSession& session, const CommandIo& io, const std::string& serial,
                 std::optional<int> seconds, bool json);

// `what`: "min", "max" or "min=VALUE". A custom minimum above the present maximum needs
// `confirmed`.
int CalibrateCommand(CliSession& session, const CommandIo& io, const std::string& serial,
                     const std::string& channel, const std::string& what, bool confirmed);

enum class FirmwareAction { Update, Change, Recover };
struct FirmwareRequest {
  FirmwareAction action = FirmwareAction::Update;
  std::string target;    // the serial number (update, change), or the firmware's name (recover)
  std::string version;   // change and recover: "2.1", "v2.1" or the whole "2.1.0.0"
  bool verbose = false;  // show the flashing tool's output
  std::optional<bool> secure;  // recovery: the image scrambled; none: the center's setting
};
int FirmwareCommand(CliSession& session, const CommandIo& io, const FirmwareRequest& request);

int MessagesCommand(CliSession& session, const CommandIo& io);
int FeedbackListCommand(CliSession& session, const CommandIo& io);
int FeedbackSendCommand(CliSession& session, const CommandIo& io, const std::string& title,
                        const std::string& text);

// The update check through the installed updater, as the center's Check for Updates runs it.
int CheckUpdatesCommand(CliSession& session, const CommandIo& io);

}  // namespace Quorvane::Cli
