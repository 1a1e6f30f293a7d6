#include "center/firmware/custom_firmware.h"

#include "common/signing/update_signature.h"

namespace Quorvane::Firmware {

std::optional<std::string> ReadCustomImage(const std::string& path, std::string& reason) {
  auto image = Signing::ReadSmallFile(path, kMaxCustomImageSize, reason);
  if (image && image->empty()) {
    reason = "'" + path + "' is empty";
    return std::nullopt;
  }
  if (!image && reason.find("is not a small regular file") != std::string::npos) {
    reason = "'" + path + "' is not a firmware image (not a regular file of at most " +
             std::to_string(kMaxCustomImageSize >> 10) + " KiB)";
  }
  return image;
}

std::string CustomFirmwareWarning(const std::string& path, const std::string& controller) {
  const std::string name = path.substr(path.rfind('/') + 1);
  return "'" + name +
         "' is not signed by the maker of your controller.\n\n"
         "A firmware that is not the maker's can stop the controller from working as a pedal set, "
         "or make it "
         "act as another USB device, such as a keyboard. Flash it only if you trust where it came "
         "from.\n\n"
         "Flash '" +
         name + "' onto " + controller + "?";
}

}  // namespace Quorvane::Firmware
