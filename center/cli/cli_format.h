// What kestrane-cli prints: the controllers as text or JSON, and the live values as a screen of
// bars sized to the terminal, as plain lines, or as JSON lines. Built from the center's own rows
// and list lines, so that names, values and bars are the ones the window shows.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "center/device/quorvane_device.h"

namespace Quorvane::Cli {

// "unrecognised", "legacy HX", "HX", "single", "dual", "triple", "quad".
std::string KindName(Device::ControllerKind kind);

struct ChannelSummary {
  std::uint32_t index = 0;  // the channel index (axes), or the button slot number (buttons)
  std::string name;
};

struct ControllerSummary {
  std::string name;  // the product
  std::string kind;
  std::string serial;
  std::string firmware;  // "3.2"
  std::string firmwareName;
  std::vector<ChannelSummary> channels;
  std::vector<ChannelSummary> buttons;
  std::optional<Service::FirmwareEntry> update;  // the newest firmware above the running one
  bool answering = true;                         // false: there, but it answers no report
};

// One summary per controller of the rows, in list order.
std::vector<ControllerSummary> Summaries(const std::vector<Device::QuorvaneDevice>& rows);

// `serviceAnswered`: whether the firmware lists could be asked for.
std::string ListText(const std::vector<ControllerSummary>& controllers, bool serviceAnswered);
nlohmann::json ListJson(const std::vector<ControllerSummary>& controllers, bool serviceAnswered);

// A version as "major.minor.build.revision".
std::string VersionText(const Service::FirmwareEntry& entry);

// One live value of a row that has a value bar.
struct LiveValue {
  std::size_t row = 0;  // in the device list
  std::string serial;
  std::string name;  // the channel's or button's name
  bool button = false;
  std::uint32_t value = 0;
  std::int32_t minimum = 0;
  std::int32_t maximum = 0;
};

// The live values of the rows with a bar (all, or one controller's), in list order.
std::vector<LiveValue> LiveValues(const std::vector<Device::QuorvaneDevice>& rows,
                                  const std::optional<std::string>& serial = std::nullopt);

// The screen of bars for a terminal `columns` wide: a heading per controller, a line per channel.
std::string WatchFrame(const std::vector<LiveValue>& values, int columns);
// One line per value: "SERIAL NAME VALUE PERCENT", or a JSON object.
std::string WatchLine(const LiveValue& value);
std::string WatchJsonLine(const LiveValue& value);

// A controller that left or came back while watched, so that its last values are not taken for
// released pedals.
struct PresenceChange {
  std::string serial;
  std::string path;
  bool present = false;  // came back (or arrived); else left
};
// The controllers (by path) that left or came between two lists of rows, in list order.
std::vector<PresenceChange> PresenceChanges(
    const std::vector<Device::QuorvaneDevice>& before,
    const std::vector<Device::QuorvaneDevice>& after,
    const std::optional<std::string>& serial = std::nullopt);
std::string PresenceLine(const PresenceChange& change);
std::string PresenceJsonLine(const PresenceChange& change);

}  // namespace Quorvane::Cli
