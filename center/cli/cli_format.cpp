#include "center/cli/cli_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "center/app/list_display.h"
#include "center/device/controller_reports.h"
#include "center/device/device_list.h"

namespace Quorvane::Cli {
namespace {

constexpr int kNameWidth = 26;
constexpr int kValueWidth = 11;   // " 1234567890"
constexpr int kPercentWidth = 8;  // " 100.0 %"
constexpr int kSmallestBar = 10;

std::string Percent(const LiveValue& value) {
  char text[16];
  std::snprintf(text, sizeof text, "%5.1f %%",
                100.0 * Center::BarFraction(value.value, value.minimum, value.maximum));
  return text;
}

std::string Padded(std::string text, int width) {
  text.resize(static_cast<std::size_t>(std::max(width, 0)), ' ');
  return text;
}

nlohmann::json ChannelsJson(const std::vector<ChannelSummary>& channels, const char* indexName) {
  auto list = nlohmann::json::array();
  for (const auto& channel : channels)
    list.push_back({{indexName, channel.index}, {"name", channel.name}});
  return list;
}

}  // namespace

std::string KindName(Device::ControllerKind kind) { return Device::TraitsOf(kind).name; }

std::string VersionText(const Service::FirmwareEntry& entry) {
  return std::to_string(entry.versionMajor) + "." + std::to_string(entry.versionMinor) + "." +
         std::to_string(entry.versionBuild) + "." + std::to_string(entry.versionRevision);
}

std::vector<ControllerSummary> Summaries(const std::vector<Device::QuorvaneDevice>& rows) {
  std::vector<ControllerSummary> controllers;
  for (std::size_t index = 0; index < rows.size(); ++index) {
    const auto& row = rows[index];
    if (Device::IsParentRow(rows, index)) {
      controllers.push_back({row.product,
                             KindName(row.kind),
                             row.serialNumber,
                             std::to_string(Device::FirmwareMajor(row.identityReport)) + "." +
                                 std::to_string(Device::FirmwareMinor(row.identityReport)),
                             Device::FirmwareName(row.identityReport),
                             {},
                             {},
                             row.pendingFirmware.entry,
                             row.answering});
    } else if (!controllers.empty()) {
      auto& list = row.isButton ? controllers.back().buttons : controllers.back().channels;
      list.push_back({row.isButton ? row.buttonSlotNumber : row.channelIndex, row.channelName});
    }
  }
  return controllers;
}

std::string ListText(const std::vector<ControllerSummary>& controllers, bool serviceAnswered) {
  std::ostringstream text;
  for (const auto& controller : controllers) {
    if (!controller.answering) {
      text << controller.serial << "  " << controller.name << "  (" << Center::kNotAnswering << ": "
           << Center::kNotAnsweringAdvice << ")\n";
      continue;
    }
    text << controller.serial << "  " << controller.name << "  (" << controller.kind
         << ", firmware " << controller.firmwareName << " v" << controller.firmware << ")\n";
    for (const auto& channel : controller.channels) {
      text << "  channel " << channel.index << "  " << channel.name << "\n";
    }
    for (const auto& button : controller.buttons) {
      text << "  button " << button.index << "   " << button.name << "\n";
    }
    if (controller.update) {
      text << "  update: " << controller.update->displayName << " ("
           << VersionText(*controller.update) << ")\n";
    } else if (serviceAnswered) {
      text << "  update: none, the firmware is the newest offered\n";
    }
  }
  if (!serviceAnswered) {
    text << "The service did not answer: firmware updates are unknown.\n";
  }
  return text.str();
}

nlohmann::json ListJson(const std::vector<ControllerSummary>& controllers, bool serviceAnswered) {
  auto list = nlohmann::json::array();
  for (const auto& controller : controllers) {
    nlohmann::json update = nullptr;
    if (controller.update) {
      update = {{"name", controller.update->displayName},
                {"version", VersionText(*controller.update)},
                {"id", controller.update->id}};
    }
    list.push_back(
        {{"serial", controller.serial},
         {"name", controller.name},
         {"answering", controller.answering},
         {"kind", controller.kind},
         {"firmware", {{"name", controller.firmwareName}, {"version", controller.firmware}}},
         {"channels", ChannelsJson(controller.channels, "index")},
         {"buttons", ChannelsJson(controller.buttons, "slot")},
         {"update", update}});
  }
  return {{"controllers", list}, {"serviceAnswered", serviceAnswered}};
}

std::vector<LiveValue> LiveValues(const std::vector<Device::QuorvaneDevice>& rows,
                                  const std::optional<std::string>& serial) {
  const auto lines = Center::BuildListLines(rows);
  std::vector<LiveValue> values;
  for (std::size_t index = 0; index < rows.size() && index < lines.size(); ++index) {
    if (!lines[index].hasValueBar || (serial && rows[index].serialNumber != *serial)) continue;
    values.push_back({index, rows[index].serialNumber, lines[index].name, rows[index].isButton,
                      lines[index].value, lines[index].minimum, lines[index].maximum});
  }
  return values;
}

std::string WatchFrame(const std::vector<LiveValue>& values, int columns) {
  const int barWidth =
      std::max(kSmallestBar, columns - 2 - kNameWidth - 2 - kValueWidth - kPercentWidth - 1);
  std::ostringstream screen;
  const std::string* serial = nullptr;
  for (const auto& value : values) {
    if (serial == nullptr || *serial != value.serial) {
      serial = &value.serial;
      screen << value.serial << "\n";
    }
    const double fraction = Center::BarFraction(value.value, value.minimum, value.maximum);
    const int filled = static_cast<int>(std::lround(fraction * barWidth));
    char number[24];
    std::snprintf(number, sizeof number, "%*u", kValueWidth, value.value);
    screen << "  " << Padded(value.name, kNameWidth) << "["
           << std::string(static_cast<std::size_t>(filled), '#')
           << std::string(static_cast<std::size_t>(barWidth - filled), '.') << "]" << number << " "
           << Percent(value) << "\n";
  }
  return screen.str();
}

std::string WatchLine(const LiveValue& value) {
  return value.serial + "  " + value.name + "  " + std::to_string(value.value) + "  " +
         Percent(value) + "\n";
}

namespace {

// The device lines' serial numbers by path.
std::vector<std::pair<std::string, std::string>> ControllersByPath(
    const std::vector<Device::QuorvaneDevice>& rows, const std::optional<std::string>& serial) {
  std::vector<std::pair<std::string, std::string>> controllers;
  for (std::size_t index = 0; index < rows.size(); ++index) {
    if ((index == 0 || rows[index - 1].devicePath != rows[index].devicePath) &&
        (!serial || rows[index].serialNumber == *serial)) {
      controllers.emplace_back(rows[index].devicePath, rows[index].serialNumber);
    }
  }
  return controllers;
}

}  // namespace

std::vector<PresenceChange> PresenceChanges(const std::vector<Device::QuorvaneDevice>& before,
                                            const std::vector<Device::QuorvaneDevice>& after,
                                            const std::optional<std::string>& serial) {
  const auto was = ControllersByPath(before, serial);
  const auto is = ControllersByPath(after, serial);
  const auto in = [](const auto& list, const auto& controller) {
    return std::find(list.begin(), list.end(), controller) != list.end();
  };
  std::vector<PresenceChange> changes;
  for (const auto& controller : was) {
    if (!in(is, controller)) changes.push_back({controller.second, controller.first, false});
  }
  for (const auto& controller : is) {
    if (!in(was, controller)) changes.push_back({controller.second, controller.first, true});
  }
  return changes;
}

std::string PresenceLine(const PresenceChange& change) {
  return change.serial + (change.present ? " is connected (" : " left: unplugged or reset (") +
         change.path + ")\n";
}

std::string PresenceJsonLine(const PresenceChange& change) {
  const nlohmann::json line{{"event", change.present ? "connected" : "left"},
                            {"serial", change.serial},
                            {"path", change.path}};
  return line.dump() + "\n";
}

std::string WatchJsonLine(const LiveValue& value) {
  const nlohmann::json line{
      {"serial", value.serial},
      {"name", value.name},
      {"button", value.button},
      {"value", value.value},
      {"minimum", value.minimum},
      {"maximum", value.maximum},
      {"fraction", Center::BarFraction(value.value, value.minimum, value.maximum)}};
  return line.dump() + "\n";
}

}  // namespace Quorvane::Cli
