#include "tools/controller-twin/uhid_device.h"

#include <fcntl.h>
#include <linux/uhid.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

namespace Quorvane::Twin {
namespace {

constexpr std::size_t kInputDataBytes = 63;   // after the report id
constexpr std::size_t kOutputDataBytes = 62;  // after the report id
constexpr std::uint16_t kBusUsb = 0x03;

void Append(std::vector<std::uint8_t>& out, std::initializer_list<std::uint8_t> bytes) {
  out.insert(out.end(), bytes);
}

void AppendLong(std::vector<std::uint8_t>& out, std::uint8_t item, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  Append(out, {item, static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
               static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)});
}

bool Send(int fd, const uhid_event& event) {
  return write(fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

void CopyText(std::uint8_t* target, std::size_t size, const std::string& text) {
  std::memset(target, 0, size);
  std::memcpy(target, text.data(), std::min(size - 1, text.size()));
}

}  // namespace

std::vector<std::uint8_t> ControllerReportDescriptor(const Device::LogicalRange& range,
                                                     bool nested) {
  std::vector<std::uint8_t> out;
  Append(out, {0x05, 0x01, 0x09, 0x04, 0xA1, 0x01});  // generic desktop, joystick, application
  // Report 0x41: seven values of 32 bits, the first input value items.
  Append(out, {0x85, 0x41, 0x09, 0x30, 0x09, 0x31, 0x09, 0x32, 0x09, 0x33, 0x09, 0x34, 0x09, 0x35,
               0x09, 0x36});
  AppendLong(out, 0x17, range.minimum);
  AppendLong(out, 0x27, range.maximum);
  Append(out, {0x75, 0x20, 0x95, 0x07, 0x81, 0x02});
  Append(out, {0x75, 0x08, 0x95, kInputDataBytes - 28, 0x81, 0x03});  // padding to 63 bytes
  // The vendor-defined reports, 63 bytes each.
  Append(out, {0x06, 0x00, 0xFF, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08});
  if (nested) {
    Append(out, {0x09, 0x01, 0xA1, 0x00});  // usage 1, physical collection
  }
  for (const std::uint8_t id :
       std::initializer_list<std::uint8_t>{0x40, 0x42, 0x43, 0x44, 0x45, 0x46}) {
    Append(out, {0x85, id, 0x09, 0x01, 0x95, kInputDataBytes, 0x81, 0x02});
  }
  for (const std::uint8_t id : std::initializer_list<std::uint8_t>{0x10, 0x30}) {
    Append(out, {0x85, id, 0x09, 0x02, 0x95, kOutputDataBytes, 0x91, 0x02});
  }
  if (nested) {
    Append(out, {0xC0});
  }
  Append(out, {0xC0});
  return out;
}

UhidDevice::UhidDevice(const Device::SimulatedController& controller, bool nestedCollection)
    : fd_(open("/dev/uhid", O_RDWR | O_CLOEXEC)) {
  if (!fd_.Valid()) {
    throw std::system_error(errno, std::generic_category(), "/dev/uhid");
  }
  uhid_event event{};
  event.type = UHID_CREATE2;
  auto& create = event.u.create2;
  CopyText(create.name, sizeof create.name, controller.product);
  CopyText(create.phys, sizeof create.phys, "quorvane-twin/" + controller.path);
  CopyText(create.uniq, sizeof create.uniq, controller.serial);
  const auto descriptor = ControllerReportDescriptor(controller.range, nestedCollection);
  create.rd_size = static_cast<std::uint16_t>(descriptor.size());
  std::memcpy(create.rd_data, descriptor.data(), descriptor.size());
  create.bus = kBusUsb;
  create.vendor = controller.vendorId;
  create.product = controller.productId;
  if (!Send(fd_.Get(), event)) {
    throw std::system_error(errno, std::generic_category(), "UHID_CREATE2");
  }
}

bool UhidDevice::HandleEvent(const UhidRequests& requests) {
  uhid_event event{};
  const ssize_t got = read(fd_.Get(), &event, sizeof event);
  if (got <= 0) {
    return errno == EINTR || errno == EAGAIN;
  }
  switch (event.type) {
    case UHID_GET_REPORT: {
      if (requests.stalled) {
        return true;
      }
      if (requests.lateMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(requests.lateMs));
      }
      uhid_event reply{};
      reply.type = UHID_GET_REPORT_REPLY;
      reply.u.get_report_reply.id = event.u.get_report.id;
      std::vector<std::uint8_t> report;
      if (event.u.get_report.rtype == UHID_INPUT_REPORT &&
          requests.getInputReport(event.u.get_report.rnum, report)) {
        report.resize(requests.shortReportBytes != 0 ? requests.shortReportBytes
                                                     : 1 + kInputDataBytes);
        if (requests.wrongReportId) report[0] = static_cast<std::uint8_t>(report[0] + 1);
        reply.u.get_report_reply.size = static_cast<std::uint16_t>(report.size());
        std::memcpy(reply.u.get_report_reply.data, report.data(), report.size());
      } else {
        reply.u.get_report_reply.err = EIO;
      }
      return Send(fd_.Get(), reply);
    }
    case UHID_SET_REPORT: {
      uhid_event reply{};
      reply.type = UHID_SET_REPORT_REPLY;
      reply.u.set_report_reply.id = event.u.set_report.id;
      const auto& request = event.u.set_report;
      const bool taken =
          request.rtype == UHID_OUTPUT_REPORT &&
          requests.outputReport({request.data, std::min<std::size_t>(request.size, UHID_DATA_MAX)},
                                true);
      reply.u.set_report_reply.err = taken ? 0 : EIO;
      return Send(fd_.Get(), reply);
    }
    case UHID_OUTPUT:
      requests.outputReport(
          {event.u.output.data, std::min<std::size_t>(event.u.output.size, UHID_DATA_MAX)}, false);
      return true;
    default:
      return true;  // start, stop, open, close
  }
}

}  // namespace Quorvane::Twin
