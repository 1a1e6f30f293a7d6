// The controllers' serial bootloader as a programmer sees it: the AVR109 protocol, well enough
// for avrdude to identify the part, erase, write and read back a flash image, served on any
// file descriptor (a pseudo-terminal's far end, or a USB gadget's serial port).
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>

#include "center/device/simulated_backend.h"

namespace Quorvane::Firmware {

// The info block a flash image carries: "QVFWINFO", the firmware name in 42 bytes, major, minor.
struct FirmwareInfo {
  std::string name;
  std::uint8_t major = 0;
  std::uint8_t minor = 0;
};
std::optional<FirmwareInfo> FindFirmwareInfo(const std::string& image);

class Avr109Bootloader {
 public:
  // `scrambled`: the bootloader takes scrambled images. `refuseWrites`: every flash write fails.
  Avr109Bootloader(bool scrambled, bool refuseWrites);

  // Answers programmers on `fd` until one sends the exit command, nothing arrives for
  // `idleLimit`, or `stop` turns true.
  void Serve(int fd, const std::atomic<bool>& stop,
             std::chrono::milliseconds idleLimit = std::chrono::seconds(8));

  // After a flash: the controller takes the name and version of the written image's info block.
  // Nothing changes when nothing was written or the image carries no info block.
  void ApplyTo(Device::SimulatedController& controller) const;

  // Stands for a cable pulled mid-flash: once it took this many bytes of flash, the bootloader
  // stops answering and Serve returns (Vanished() then tells).
  void VanishAfterWriting(std::size_t bytes) { vanishAfter_ = bytes; }
  bool Vanished() const { return vanished_; }

 private:
  bool scrambled_;
  bool refuseWrites_;
  std::string flash_;
  std::uint32_t wordAddress_ = 0;
  bool written_ = false;
  std::size_t writtenBytes_ = 0;
  std::size_t vanishAfter_ = 0;
  bool vanished_ = false;
};

}  // namespace Quorvane::Firmware
