#include "tools/controller-twin/acm_gadget.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <thread>

namespace Quorvane::Twin {
namespace {

constexpr const char* kGadgets = "/sys/kernel/config/usb_gadget";

std::string Hex(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04x", value);
  return text;
}

void WriteAttribute(const std::string& path, const std::string& value) {
  std::ofstream file(path);
  file << value;
  file.flush();
  if (!file) {
    throw std::runtime_error("cannot write '" + value + "' to " + path + ": " +
                             std::strerror(errno));
  }
}

void MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
    throw std::runtime_error("cannot make " + path + ": " + std::strerror(errno));
  }
}

// A device controller no gadget is bound to (gadgets bind to one by its name): the lab may have
// another serial device on the bus beside the bootloader.
std::string FreeDeviceController() {
  std::set<std::string> bound;
  std::error_code error;
  for (const auto& gadget : std::filesystem::directory_iterator(kGadgets, error)) {
    std::string name;
    std::getline(std::ifstream(gadget.path() / "UDC"), name);
    if (!name.empty()) bound.insert(name);
  }
  std::set<std::string> controllers;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/udc", error)) {
    controllers.insert(entry.path().filename().string());
  }
  for (const auto& name : controllers) {
    if (!bound.count(name)) return name;
  }
  throw std::runtime_error(controllers.empty() ? "no USB device controller (load dummy_hcd)"
                                               : "every USB device controller is taken");
}

}  // namespace

AcmGadget::AcmGadget(const std::string& name, const GadgetIdentity& identity)
    : folder_(std::string(kGadgets) + "/" + name) {
  if (access(kGadgets, F_OK) != 0) {
    throw std::runtime_error(std::string(kGadgets) +
                             " is missing (mount configfs, load libcomposite)");
  }
  MakeFolder(folder_);
  WriteAttribute(folder_ + "/idVendor", Hex(identity.vendorId));
  WriteAttribute(folder_ + "/idProduct", Hex(identity.productId));
  WriteAttribute(folder_ + "/bcdUSB", "0x0200");
  MakeFolder(folder_ + "/strings/0x409");
  WriteAttribute(folder_ + "/strings/0x409/manufacturer", identity.manufacturer);
  WriteAttribute(folder_ + "/strings/0x409/product", identity.product);
  WriteAttribute(folder_ + "/strings/0x409/serialnumber", identity.serial);
  MakeFolder(folder_ + "/configs/c.1");
  MakeFolder(folder_ + "/functions/acm.usb0");
  const std::string link = folder_ + "/configs/c.1/acm.usb0";
  if (symlink((folder_ + "/functions/acm.usb0").c_str(), link.c_str()) != 0 && errno != EEXIST) {
    throw std::runtime_error("cannot add the serial function: " +
                             std::string(std::strerror(errno)));
  }
  std::ifstream portNumber(folder_ + "/functions/acm.usb0/port_num");
  int number = 0;
  portNumber >> number;
  serialPort_ = "/dev/ttyGS" + std::to_string(number);
  WriteAttribute(folder_ + "/UDC", FreeDeviceController());
  // The gadget's port node comes from udev; it is there once the gadget is bound.
  for (int wait = 0; wait < 200 && access(serialPort_.c_str(), F_OK) != 0; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

AcmGadget::~AcmGadget() {
  std::ofstream(folder_ + "/UDC") << "\n";
  unlink((folder_ + "/configs/c.1/acm.usb0").c_str());
  rmdir((folder_ + "/configs/c.1").c_str());
  rmdir((folder_ + "/functions/acm.usb0").c_str());
  rmdir((folder_ + "/strings/0x409").c_str());
  rmdir(folder_.c_str());
}

}  // namespace Quorvane::Twin
