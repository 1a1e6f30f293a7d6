#include "center/device/simulated_backend.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <pugixml.hpp>
#include <sstream>
#include <stdexcept>

#include "center/device/controller_kind.h"
#include "common/platform/atomic_file.h"

namespace Quorvane::Device {
namespace {

// One open simulated device: every request goes to the backend, which answers from the
// controller's description and state at that moment.
class SimulatedConnection final : public HidConnection {
 public:
  SimulatedConnection(SimulatedBackend& backend, std::string path)
      : backend_(backend), path_(std::move(path)) {}

  std::optional<std::string> Manufacturer() override {
    return String([](SimulatedController& c) {
      return c.manufacturerFails ? std::nullopt : std::optional(c.manufacturer);
    });
  }
  std::optional<std::string> Product() override {
    return String([](SimulatedController& c) {
      return c.productFails ? std::nullopt : std::optional(c.product);
    });
  }
  std::optional<std::string> SerialNumber() override {
    return String([](SimulatedController& c) -> std::optional<std::string> {
      if (c.serialFailures != 0) {
        if (c.serialFailures > 0) --c.serialFailures;
        return std::nullopt;
      }
      return c.serial;
    });
  }
  std::optional<LogicalRange> ValueRange() override {
    return backend_.ReadController(path_, [](SimulatedController* c) {
      return c && c->present ? std::optional(c->range) : std::nullopt;
    });
  }
  bool GetInputReport(std::uint8_t reportId, InputReportBuffer& buffer) override {
    return backend_.InputReport(path_, reportId, buffer);
  }
  bool SendOutputReport(std::span<const std::uint8_t> report) override {
    return backend_.OutputReportReceived(path_, report);
  }

 private:
  template <typename Read>
  std::optional<std::string> String(Read read) {
    return backend_.ReadController(path_,
                                   [&](SimulatedController* c) -> std::optional<std::string> {
                                     return c && c->present ? read(*c) : std::nullopt;
                                   });
  }

  SimulatedBackend& backend_;
  std::string path_;
};

void PutValue(InputReportBuffer& buffer, std::size_t index, std::uint32_t value) {
  for (std::size_t byte = 0; byte < 4; ++byte) {
    buffer[1 + 4 * index + byte] = static_cast<std::uint8_t>(value >> (8 * byte));
  }
}

// Reading the description: every fault names the controller and the attribute.
class DescriptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::uint32_t Number(const pugi::xml_node& node, const char* name, std::uint32_t fallback,
                     std::uint32_t maximum = 0xFFFFFFFF) {
  const auto attribute = node.attribute(name);
  if (!attribute) {
    return fallback;
  }
  const std::string text = attribute.value();
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || value > maximum || text.front() == '-') {
    throw DescriptionError(std::string("<") + node.name() + "> attribute " + name + "=\"" + text +
                           "\" is not a number up to " + std::to_string(maximum));
  }
  return static_cast<std::uint32_t>(value);
}

std::int32_t SignedNumber(const pugi::xml_node& node, const char* name, std::int32_t fallback) {
  const auto attribute = node.attribute(name);
  if (!attribute) {
    return fallback;
  }
  const std::string text = attribute.value();
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || value < INT32_MIN || value > INT32_MAX) {
    throw DescriptionError(std::string("<") + node.name() + "> attribute " + name + "=\"" + text +
                           "\" is not a 32-bit number");
  }
  return static_cast<std::int32_t>(value);
}

std::vector<std::uint32_t> NumberList(const pugi::xml_node& node, const char* name,
                                      std::size_t maximumCount, std::uint32_t maximum) {
  std::istringstream words(node.attribute(name).value());
  std::vector<std::uint32_t> numbers;
  for (std::string word; words >> word;) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(word.c_str(), &end, 0);
    if (*end != '\0' || value > maximum || numbers.size() == maximumCount) {
      throw DescriptionError(std::string("<") + node.name() + "> " + name + " must hold at most " +
                             std::to_string(maximumCount) + " numbers up to " +
                             std::to_string(maximum));
    }
    numbers.push_back(static_cast<std::uint32_t>(value));
  }
  return numbers;
}

std::uint8_t Letter(const pugi::xml_node& node, const char* name) {
  const std::string text = node.attribute(name).value();
  if (text.size() != 1) {
    throw DescriptionError(std::string("<identity> ") + name + " must be one letter");
  }
  return static_cast<std::uint8_t>(text[0]);
}

Waveform ReadWaveform(const pugi::xml_node& node) {
  Waveform wave;
  const std::string kind = node.attribute("kind").as_string("constant");
  if (kind == "constant") {
    wave.kind = Waveform::Kind::Constant;
    wave.from = Number(node, "value", 0);
  } else if (kind == "ramp") {
    wave.kind = Waveform::Kind::Ramp;
    wave.from = Number(node, "from", 0);
    wave.to = Number(node, "to", 0);
  } else if (kind == "sine") {
    wave.kind = Waveform::Kind::Sine;
    wave.from = Number(node, "minimum", 0);
    wave.to = Number(node, "maximum", 0);
  } else {
    throw DescriptionError("unknown waveform kind \"" + kind + "\"");
  }
  wave.periodMs = Number(node, "periodMs", 1000);
  if (wave.periodMs <= 0) {
    throw DescriptionError("periodMs must be above 0");
  }
  wave.noise = Number(node, "noise", 0);
  wave.driftPerSecond = SignedNumber(node, "driftPerSecond", 0);
  return wave;
}

IdentityReport ReadIdentity(const pugi::xml_node& node) {
  IdentityReport identity{};
  identity[0] = kIdentityReportId;
  const std::string firmware = node.attribute("firmware").value();
  const std::string bootloader = node.attribute("bootloader").value();
  // The name ends before the bootloader's eight bytes at 26..33.
  if (firmware.size() > 24 || bootloader.size() > 7) {
    throw DescriptionError("<identity> firmware may have 24 and bootloader 7 characters at most");
  }
  std::memcpy(identity.data() + 1, firmware.data(), firmware.size());
  std::memcpy(identity.data() + 26, bootloader.data(), bootloader.size());
  identity[43] = Letter(node, "family");
  identity[44] = Letter(node, "configuration");
  identity[45] = static_cast<std::uint8_t>(Number(node, "major", 0, 255));
  identity[46] = static_cast<std::uint8_t>(Number(node, "minor", 0, 255));
  const auto slots = NumberList(node, "slots", kAxisSlots, 255);
  for (std::size_t slot = 0; slot < slots.size(); ++slot) {
    identity[47 + slot] = static_cast<std::uint8_t>(slots[slot]);
  }
  return identity;
}

SimulatedController ReadControllerElement(const pugi::xml_node& node) {
  SimulatedController controller;
  controller.path = node.attribute("path").value();
  if (controller.path.empty()) {
    throw DescriptionError("<controller> needs a path");
  }
  try {
    controller.vendorId = static_cast<std::uint16_t>(Number(node, "vendorId", kVendorId, 0xFFFF));
    controller.productId = static_cast<std::uint16_t>(Number(node, "productId", 0x0036, 0xFFFF));
    controller.manufacturer =
        node.attribute("manufacturer").as_string("Quorvane Simulation Techonology");
    controller.product = node.attribute("product").as_string("Quorvane Brake Controller");
    controller.serial = node.attribute("serial").value();
    controller.enumerationRecords = static_cast<int>(Number(node, "enumerationRecords", 1, 8));
    if (node.attribute("denied").as_bool(false)) {
      controller.openFailure = std::errc::permission_denied;  // a node the user may not open
    }
    if (node.attribute("silent").as_bool(false)) {
      // A stalled firmware: it answers no report.
      controller.failingReports = {
          kIdentityReportId, kValueReportId,     kRawReportId, kCalibrationReportId,
          kReportDId,        kButtonMapReportId, kReportFId};
    }
    controller.range = {SignedNumber(node, "logicalMinimum", 0),
                        SignedNumber(node, "logicalMaximum", 65535)};
    const auto identity = node.child("identity");
    if (!identity) {
      throw DescriptionError("<identity> is missing");
    }
    controller.identity = ReadIdentity(identity);
    controller.buttonMap[0] = kButtonMapReportId;
    const auto map = NumberList(node.child("buttons"), "map", kButtonSlots, 255);
    for (std::size_t slot = 0; slot < map.size(); ++slot) {
      controller.buttonMap[1 + slot] = static_cast<std::uint8_t>(map[slot]);
    }
    for (auto axis : node.children("axis")) {
      const std::uint32_t slot = Number(axis, "slot", 0, kAxisSlots);
      if (slot == 0) throw DescriptionError("<axis> slot must be 1..7");
      controller.axes[slot - 1] = ReadWaveform(axis);
    }
    for (auto raw : node.children("raw")) {
      controller.raw[Number(raw, "channel", 0, kAxisSlots - 1)] = ReadWaveform(raw);
    }
    for (auto calibration : node.children("calibration")) {
      controller.calibration[Number(calibration, "channel", 0, kAxisSlots - 1)] = {
          Number(calibration, "minimum", 0), Number(calibration, "maximum", 0)};
    }
    for (auto press : node.children("press")) {
      ButtonPress buttonPress{Number(press, "button", 0, kButtonSlots),
                              static_cast<double>(Number(press, "periodMs", 1000)),
                              static_cast<double>(Number(press, "downMs", 0))};
      if (buttonPress.button == 0 || buttonPress.periodMs <= 0) {
        throw DescriptionError("<press> needs a button 1..32 and a periodMs above 0");
      }
      controller.presses.push_back(buttonPress);
    }
  } catch (const DescriptionError& error) {
    throw DescriptionError("controller " + controller.path + ": " + error.what());
  }
  return controller;
}

}  // namespace

std::uint32_t Waveform::At(double milliseconds) const {
  const double phase = std::fmod(milliseconds, periodMs) / periodMs;
  double value = from;
  switch (kind) {
    case Kind::Constant:
      break;
    case Kind::Ramp:
      value = from + (to - from) * phase;
      break;
    case Kind::Sine:
      value = from + (to - from) * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * phase));
      break;
  }
  value += driftPerSecond * milliseconds / 1000;
  if (noise > 0) {
    // A normal deviate from the moment's millisecond (Box-Muller over two hashed uniforms).
    auto mix = static_cast<std::uint64_t>(std::llround(milliseconds)) + 0x9E3779B97F4A7C15ull;
    const auto uniform = [&mix] {
      mix = (mix ^ (mix >> 30)) * 0xBF58476D1CE4E5B9ull;
      mix = (mix ^ (mix >> 27)) * 0x94D049BB133111EBull;
      mix ^= mix >> 31;
      return (static_cast<double>(mix >> 11) + 0.5) / 9007199254740992.0;
    };
    const double first = uniform();
    value += noise * std::sqrt(-2 * std::log(first)) * std::cos(2 * std::numbers::pi * uniform());
  }
  return static_cast<std::uint32_t>(std::llround(std::clamp(value, 0.0, 4294967295.0)));
}

SimulatedBackend::SimulatedBackend(std::vector<SimulatedController> controllers,
                                   Platform::Clock& clock)
    : controllers_(std::move(controllers)), clock_(clock), start_(clock.Now()) {}

std::vector<SimulatedController> SimulatedBackend::ParseDescription(std::string_view text) {
  pugi::xml_document document;
  const auto loaded = document.load_buffer(text.data(), text.size());
  if (!loaded) {
    throw std::runtime_error(std::string("not a controller description: ") + loaded.description() +
                             " at offset " + std::to_string(loaded.offset));
  }
  const auto root = document.child("controllers");
  if (!root) {
    throw std::runtime_error("not a controller description: <controllers> is missing");
  }
  std::vector<SimulatedController> controllers;
  std::set<std::string> paths;
  for (auto node : root.children("controller")) {
    controllers.push_back(ReadControllerElement(node));
    if (!paths.insert(controllers.back().path).second) {
      throw std::runtime_error("controller path " + controllers.back().path + " is used twice");
    }
  }
  return controllers;
}

std::unique_ptr<SimulatedBackend> SimulatedBackend::FromFile(const std::string& path,
                                                             Platform::Clock& clock) {
  return std::make_unique<SimulatedBackend>(ReadDescriptionFile(path), clock);
}

std::vector<SimulatedController> SimulatedBackend::ReadDescriptionFile(const std::string& path) {
  std::error_code error;
  const auto text = Platform::ReadWholeFile(path, error);
  if (!text) {
    throw std::runtime_error("cannot read the controller description " + path + ": " +
                             error.message());
  }
  try {
    return ParseDescription(*text);
  } catch (const std::runtime_error& failure) {
    throw std::runtime_error(path + ": " + failure.what());
  }
}

Enumeration SimulatedBackend::Enumerate() {
  std::lock_guard lock(mutex_);
  Enumeration enumeration;
  if (classFailure_) {
    enumeration.classFailure = std::make_error_code(*classFailure_);
    return enumeration;
  }
  for (const auto& controller : controllers_) {
    for (int record = 0; controller.present && record < controller.enumerationRecords; ++record) {
      enumeration.devices.push_back({controller.path, controller.vendorId, controller.productId});
    }
  }
  if (walkFailure_) {
    enumeration.walkFailure = std::make_error_code(*walkFailure_);
  }
  return enumeration;
}

std::unique_ptr<HidConnection> SimulatedBackend::Open(const std::string& path,
                                                      std::error_code& error) {
  std::lock_guard lock(mutex_);
  const SimulatedController* controller = Find(path);
  if (controller == nullptr || !controller->present) {
    error = std::make_error_code(std::errc::no_such_file_or_directory);
    return nullptr;
  }
  if (controller->openFailure) {
    error = std::make_error_code(*controller->openFailure);
    return nullptr;
  }
  error.clear();
  return std::make_unique<SimulatedConnection>(*this, path);
}

bool SimulatedBackend::InputReport(const std::string& path, std::uint8_t reportId,
                                   InputReportBuffer& buffer) {
  std::lock_guard lock(mutex_);
  const SimulatedController* controller = Find(path);
  if (controller == nullptr || !controller->present || controller->failingReports.count(reportId)) {
    return false;
  }
  const double now = ElapsedMs();
  buffer.fill(0);
  buffer[0] = reportId;
  switch (reportId) {
    case kIdentityReportId:
      std::copy(controller->identity.begin(), controller->identity.end(), buffer.begin());
      return true;
    case kButtonMapReportId:
      std::copy(controller->buttonMap.begin(), controller->buttonMap.end(), buffer.begin());
      return true;
    case kValueReportId: {
      std::uint32_t pressed = 0;
      for (const auto& press : controller->presses) {
        if (std::fmod(now, press.periodMs) < press.downMs) {
          pressed |= 1u << (press.button - 1);
        }
      }
      for (std::size_t slot = 0; slot < kAxisSlots; ++slot) {
        const bool buttons = AxisSlotType(controller->identity, slot + 1) == kSlotButtons;
        PutValue(buffer, slot, buttons ? pressed : controller->axes[slot].At(now));
      }
      return true;
    }
    case kRawReportId:
      for (std::size_t channel = 0; channel < kAxisSlots; ++channel) {
        PutValue(buffer, channel, controller->raw[channel].At(now));
      }
      return true;
    case kCalibrationReportId:
      for (std::size_t channel = 0; channel < kAxisSlots; ++channel) {
        PutValue(buffer, 2 * channel, controller->calibration[channel].first);
        PutValue(buffer, 2 * channel + 1, controller->calibration[channel].second);
      }
      return true;
    case kReportDId:
      std::copy(controller->reportD.begin(), controller->reportD.end(), buffer.begin() + 1);
      return true;
    case kReportFId:
      std::copy(controller->reportF.begin(), controller->reportF.end(), buffer.begin() + 1);
      return true;
    default:
      return false;
  }
}

bool SimulatedBackend::OutputReportReceived(const std::string& path,
                                            std::span<const std::uint8_t> report) {
  std::function<void(const std::string&)> resetHandler;
  {
    std::lock_guard lock(mutex_);
    SimulatedController* controller = Find(path);
    if (controller == nullptr || !controller->present || controller->outputFails ||
        report.size() != kOutputReportLength) {
      return false;
    }
    OutputReport copy{};
    std::copy(report.begin(), report.end(), copy.begin());
    sent_[path].push_back(copy);
    if (report[0] == kCalibrationCommandReportId) {
      const std::uint32_t parameter = static_cast<std::uint32_t>(report[2]) |
                                      (static_cast<std::uint32_t>(report[3]) << 8) |
                                      (static_cast<std::uint32_t>(report[4]) << 16) |
                                      (static_cast<std::uint32_t>(report[5]) << 24);
      ApplyCalibration(*controller, report[1], parameter);
      return true;
    }
    if (report[0] != kResetReportId ||
        std::memcmp(report.data(), MakeResetReport().data(), kOutputReportLength) != 0) {
      return false;
    }
    // The controller restarts into its bootloader: it leaves the HID devices.
    controller->present = false;
    resetHandler = resetHandler_;
  }
  if (resetHandler) {
    resetHandler(path);
  }
  Notify();
  return true;
}

void SimulatedBackend::ApplyCalibration(SimulatedController& controller, std::uint8_t code,
                                        std::uint32_t parameter) {
  // The controller finds the channel the code stands for from its own kind and slot types.
  const ControllerKind kind = ControllerKindOf(controller.identity);
  const double now = ElapsedMs();
  for (std::uint32_t channel = 0; channel < kAxisSlots; ++channel) {
    const auto codes =
        CalibrationCodesFor(kind, channel, AxisSlotType(controller.identity, channel + 1));
    if (!codes) {
      continue;
    }
    if (codes->setMinimum == code) {
      controller.calibration[channel].first =
          parameter == kTakePresentReading ? controller.raw[channel].At(now) : parameter;
      return;
    }
    if (codes->calibrateMaximum == code) {
      controller.calibration[channel].second = controller.raw[channel].At(now);
      return;
    }
  }
}

void SimulatedBackend::Modify(const std::string& path,
                              const std::function<void(SimulatedController&)>& change) {
  std::lock_guard lock(mutex_);
  if (SimulatedController* controller = Find(path)) {
    change(*controller);
  }
}

void SimulatedBackend::Unplug(const std::string& path) {
  Modify(path, [](SimulatedController& controller) { controller.present = false; });
  Notify();
}

void SimulatedBackend::Plug(const std::string& path) {
  Modify(path, [](SimulatedController& controller) { controller.present = true; });
  Notify();
}

void SimulatedBackend::FailEnumeration(std::optional<std::errc> classFailure,
                                       std::optional<std::errc> walkFailure) {
  std::lock_guard lock(mutex_);
  classFailure_ = classFailure;
  walkFailure_ = walkFailure;
}

void SimulatedBackend::SetChangeListener(std::function<void()> listener) {
  std::lock_guard lock(mutex_);
  changeListener_ = std::move(listener);
}

void SimulatedBackend::SetResetHandler(std::function<void(const std::string&)> handler) {
  std::lock_guard lock(mutex_);
  resetHandler_ = std::move(handler);
}

std::vector<OutputReport> SimulatedBackend::SentReports(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto found = sent_.find(path);
  return found == sent_.end() ? std::vector<OutputReport>() : found->second;
}

SimulatedController SimulatedBackend::Describe(const std::string& path) const {
  std::lock_guard lock(mutex_);
  const SimulatedController* controller = Find(path);
  return controller ? *controller : SimulatedController{};
}

SimulatedController* SimulatedBackend::Find(const std::string& path) {
  for (auto& controller : controllers_) {
    if (controller.path == path) return &controller;
  }
  return nullptr;
}

const SimulatedController* SimulatedBackend::Find(const std::string& path) const {
  return const_cast<SimulatedBackend*>(this)->Find(path);
}

double SimulatedBackend::ElapsedMs() const {
  return std::chrono::duration<double, std::milli>(clock_.Now() - start_).count();
}

void SimulatedBackend::Notify() {
  std::function<void()> listener;
  {
    std::lock_guard lock(mutex_);
    listener = changeListener_;
  }
  if (listener) {
    listener();
  }
}

}  // namespace Quorvane::Device
