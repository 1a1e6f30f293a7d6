// Controllers without hardware: described in an XML file, answering reports like the real ones
// on an injected clock. Tests, the demo and anyone without a controller use it; tests can also
// make it fail in every way a real device does.
//
// Description file:
//   <controllers>
//     <controller path=".." vendorId="0x03EB" productId="0x0036" manufacturer=".." product=".."
//                 serial=".." logicalMinimum="0" logicalMaximum="65535">
//       <identity firmware="QV-Quad" bootloader="QV77 BL" family="B" configuration="Q"
//                 major="3" minor="2" slots="1 2 3 4 5 0 0"/>
//       <buttons map="0 0 1 0 0 0 3"/>                  button slot types 1..32, missing are 0
//       <axis slot="1" kind="sine" minimum="0" maximum="65535" periodMs="4000"/>
//       <raw channel="0" kind="ramp" from="120000" to="840000" periodMs="4000"/>
//       <calibration channel="0" minimum="100000" maximum="900000"/>
//       <press button="3" periodMs="3000" downMs="600"/>
//     </controller>
//   </controllers>
// Waveforms: kind="constant" value=".."; kind="ramp" from to periodMs (a saw tooth);
// kind="sine" minimum maximum periodMs. Any waveform may add noise="SD" (a load cell's noise, its
// standard deviation) and driftPerSecond="N".
// Faults on <controller>: enumerationRecords="N" (listed N times with one path, as a report
// descriptor with nested collections is), denied="true" (its node may not be opened),
// silent="true" (it answers no report).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "center/device/hid_backend.h"
#include "common/platform/clock.h"

namespace Quorvane::Device {

struct Waveform {
  enum class Kind { Constant, Ramp, Sine };
  Kind kind = Kind::Constant;
  double from = 0;  // constant value, ramp start, sine minimum
  double to = 0;    // ramp end, sine maximum
  double periodMs = 1000;
  // A load cell's faults: noise (the standard deviation, in the wave's units; the same at the
  // same moment, so a run can be repeated) and a drift per second.
  double noise = 0;
  double driftPerSecond = 0;

  std::uint32_t At(double milliseconds) const;
};

struct ButtonPress {
  std::uint32_t button = 0;  // slot number 1..32
  double periodMs = 1000;
  double downMs = 0;
};

struct SimulatedController {
  std::string path;
  std::uint16_t vendorId = kVendorId;
  std::uint16_t productId = 0x0036;
  std::string manufacturer;
  std::string product;
  std::string serial;
  LogicalRange range{0, 65535};
  IdentityReport identity{};
  ButtonMapReport buttonMap{};
  std::array<Waveform, kAxisSlots> axes{};  // joystick values per axis slot 1..7
  std::array<Waveform, kAxisSlots> raw{};   // raw readings per channel 0..6
  std::array<std::pair<std::uint32_t, std::uint32_t>, kAxisSlots> calibration{};
  std::vector<ButtonPress> presses;
  std::array<std::uint8_t, kBlockSize> reportD{};
  std::array<std::uint8_t, kBlockSize> reportF{};

  // How many records the HID library's enumeration makes of it: one per usage pair of its report
  // descriptor, all with the same path (a descriptor with a nested collection that has a usage).
  int enumerationRecords = 1;

  // Failures a test can switch on.
  bool present = true;
  std::optional<std::errc> openFailure;
  bool manufacturerFails = false;
  bool productFails = false;
  int serialFailures = 0;  // the next n serial reads fail; -1: never answers
  std::set<std::uint8_t> failingReports;
  bool outputFails = false;
};

class SimulatedBackend final : public HidBackend {
 public:
  SimulatedBackend(std::vector<SimulatedController> controllers, Platform::Clock& clock);
  // Read a description file; throw std::runtime_error naming the file and the fault for a bad one.
  static std::unique_ptr<SimulatedBackend> FromFile(const std::string& path,
                                                    Platform::Clock& clock);
  static std::vector<SimulatedController> ReadDescriptionFile(const std::string& path);
  static std::vector<SimulatedController> ParseDescription(std::string_view text);

  Enumeration Enumerate() override;
  std::unique_ptr<HidConnection> Open(const std::string& path, std::error_code& error) override;

  // Changes a controller's description or failure switches.
  void Modify(const std::string& path, const std::function<void(SimulatedController&)>& change);
  // The controller leaves or comes back (device arrival or removal).
  void Unplug(const std::string& path);
  void Plug(const std::string& path);
  // Enumeration failures: of the whole class, or of the walk after the devices were listed.
  void FailEnumeration(std::optional<std::errc> classFailure, std::optional<std::errc> walkFailure);
  // Called after every arrival or removal.
  void SetChangeListener(std::function<void()> listener);
  // Called when a controller accepted the reset report and left for its bootloader.
  void SetResetHandler(std::function<void(const std::string& path)> handler);

  std::vector<OutputReport> SentReports(const std::string& path) const;
  SimulatedController Describe(const std::string& path) const;

  // Report handling of the connections.
  bool InputReport(const std::string& path, std::uint8_t reportId, InputReportBuffer& buffer);
  bool OutputReportReceived(const std::string& path, std::span<const std::uint8_t> report);
  template <typename Read>
  auto ReadController(const std::string& path, Read read) {
    std::lock_guard lock(mutex_);
    return read(Find(path));
  }

 private:
  SimulatedController* Find(const std::string& path);
  const SimulatedController* Find(const std::string& path) const;
  double ElapsedMs() const;
  void ApplyCalibration(SimulatedController& controller, std::uint8_t code,
                        std::uint32_t parameter);
  void Notify();

  mutable std::mutex mutex_;
  std::vector<SimulatedController> controllers_;
  std::map<std::string, std::vector<OutputReport>> sent_;
  std::optional<std::errc> classFailure_;
  std::optional<std::errc> walkFailure_;
  std::function<void()> changeListener_;
  std::function<void(const std::string&)> resetHandler_;
  Platform::Clock& clock_;
  Platform::Clock::TimePoint start_;
};

}  // namespace Quorvane::Device
