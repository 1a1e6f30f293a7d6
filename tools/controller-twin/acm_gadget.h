// A USB device with one serial (CDC-ACM) function, made through the kernel's gadget framework in
// configfs and bound to a device controller (the dummy host controller's, in the lab): the
// machine then sees a real USB serial port (/dev/ttyACM*) with the given ids, and the program
// that made the gadget talks to it through the gadget's own serial port (/dev/ttyGS*).
#pragma once

#include <cstdint>
#include <string>

namespace Quorvane::Twin {

struct GadgetIdentity {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::string manufacturer;
  std::string product;
  std::string serial;
};

class AcmGadget {
 public:
  // Throws std::runtime_error naming the step that failed (configfs not mounted, no device
  // controller, the gadget modules missing).
  AcmGadget(const std::string& name, const GadgetIdentity& identity);
  AcmGadget(const AcmGadget&) = delete;
  AcmGadget& operator=(const AcmGadget&) = delete;
  // Unbinds the gadget (the machine sees the device leave) and removes it.
  ~AcmGadget();

  // The gadget side's serial port, e.g. /dev/ttyGS0.
  const std::string& SerialPort() const { return serialPort_; }

 private:
  std::string folder_;
  std::string serialPort_;
};

}  // namespace Quorvane::Twin
