#include "center/firmware/avr109_bootloader.h"

#include <poll.h>
#include <unistd.h>

#include <cstring>

#include "common/service_client/scramble.h"

namespace Quorvane::Firmware {
namespace {

constexpr std::size_t kFlashBytes = 32 * 1024;              // an ATmega32U4
constexpr std::uint8_t kSignature[3] = {0x87, 0x95, 0x1E};  // sent lowest byte first
constexpr std::uint16_t kBlockSize = 128;
constexpr char kInfoMagic[] = "QVFWINFO";

}  // namespace

std::optional<FirmwareInfo> FindFirmwareInfo(const std::string& image) {
  const auto at = image.find(kInfoMagic);
  const std::size_t nameStart = at + sizeof kInfoMagic - 1;
  if (at == std::string::npos || image.size() < nameStart + 44) {
    return std::nullopt;
  }
  FirmwareInfo info;
  info.name = image.substr(nameStart, 42);
  info.name.resize(std::strlen(info.name.c_str()));
  info.major = static_cast<std::uint8_t>(image[nameStart + 42]);
  info.minor = static_cast<std::uint8_t>(image[nameStart + 43]);
  return info;
}

Avr109Bootloader::Avr109Bootloader(bool scrambled, bool refuseWrites)
    : scrambled_(scrambled), refuseWrites_(refuseWrites), flash_(kFlashBytes, '\xFF') {}

void Avr109Bootloader::Serve(int fd, const std::atomic<bool>& stop,
                             std::chrono::milliseconds idleLimit) {
  auto lastActivity = std::chrono::steady_clock::now();
  std::string pending;
  // Waits for `count` bytes of the command under way; false when the bootloader should leave.
  const auto need = [&](std::size_t count) {
    while (pending.size() < count) {
      if (stop || std::chrono::steady_clock::now() - lastActivity > idleLimit) return false;
      pollfd descriptor{fd, POLLIN, 0};
      if (poll(&descriptor, 1, 100) <= 0 || !(descriptor.revents & POLLIN)) continue;
      char buffer[4096];
      const ssize_t received = read(fd, buffer, sizeof buffer);
      if (received > 0) {
        pending.append(buffer, static_cast<std::size_t>(received));
        lastActivity = std::chrono::steady_clock::now();
      }
    }
    return true;
  };
  const auto take = [&](std::size_t count) {
    std::string taken = pending.substr(0, count);
    pending.erase(0, count);
    return taken;
  };
  const auto answer = [&](const std::string& bytes) {
    [[maybe_unused]] const auto written = write(fd, bytes.data(), bytes.size());
  };
  const auto size16 = [](const std::string& bytes) {
    return static_cast<std::size_t>((static_cast<std::uint8_t>(bytes[0]) << 8) |
                                    static_cast<std::uint8_t>(bytes[1]));
  };

  while (need(1)) {
    const char command = take(1)[0];
    switch (command) {
      case 0x1B:
        break;  // escape: nothing to answer
      case 'S':
        answer("AVRBOOT");
        break;
      case 'V':
        answer("10");
        break;
      case 'v':
        answer("10");
        break;
      case 'p':
        answer("S");
        break;
      case 'a':
        answer("Y");
        break;
      case 'b':
        answer(std::string("Y") + static_cast<char>(kBlockSize >> 8) +
               static_cast<char>(kBlockSize & 0xFF));
        break;
      case 't':
        answer(std::string("\x44\x00", 2));
        break;
      case 's':
        answer(std::string(reinterpret_cast<const char*>(kSignature), 3));
        break;
      case 'F':
        answer("\xFF");
        break;  // low fuse
      case 'N':
        answer("\xD8");
        break;  // high fuse
      case 'Q':
        answer("\xCB");
        break;  // extended fuse
      case 'r':
        answer("\x2F");
        break;  // lock bits
      case 'P':
      case 'L':
        answer("\r");
        break;
      case 'T':
      case 'x':
      case 'y':
      case 'l':
        if (!need(1)) return;
        take(1);
        answer("\r");
        break;
      case 'e':
        flash_.assign(kFlashBytes, '\xFF');
        answer("\r");
        break;
      case 'A': {
        if (!need(2)) return;
        wordAddress_ = static_cast<std::uint32_t>(size16(take(2)));
        answer("\r");
        break;
      }
      case 'H': {
        if (!need(3)) return;
        const std::string bytes = take(3);
        wordAddress_ = (static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[0])) << 16) |
                       static_cast<std::uint32_t>(size16(bytes.substr(1)));
        answer("\r");
        break;
      }
      case 'B': {
        if (!need(3)) return;
        const std::string header = take(3);
        const std::size_t count = size16(header);
        if (!need(count)) return;
        const std::string data = take(count);
        const std::size_t at = 2u * wordAddress_;
        if (header[2] != 'F' || refuseWrites_ || at + count > kFlashBytes) {
          answer("?");
          break;
        }
        flash_.replace(at, count, data);
        wordAddress_ += static_cast<std::uint32_t>((count + 1) / 2);
        written_ = true;
        writtenBytes_ += count;
        if (vanishAfter_ != 0 && writtenBytes_ >= vanishAfter_) {
          vanished_ = true;
          return;
        }
        answer("\r");
        break;
      }
      case 'g': {
        if (!need(3)) return;
        const std::string header = take(3);
        const std::size_t count = size16(header);
        const std::size_t at = 2u * wordAddress_;
        std::string data(count, '\xFF');
        if (header[2] == 'F' && at < kFlashBytes) {
          data = flash_.substr(at, count);
          data.resize(count, '\xFF');
        }
        wordAddress_ += static_cast<std::uint32_t>((count + 1) / 2);
        answer(data);
        break;
      }
      case 'E':
        answer("\r");
        return;
      default:
        answer("?");
        break;
    }
  }
}

void Avr109Bootloader::ApplyTo(Device::SimulatedController& controller) const {
  if (!written_) {
    return;
  }
  const std::string image = scrambled_ ? Service::UnscrambleBytes(flash_) : flash_;
  if (const auto info = FindFirmwareInfo(image)) {
    std::memset(controller.identity.data() + 1, 0, 25);
    std::memcpy(controller.identity.data() + 1, info->name.data(),
                std::min<std::size_t>(info->name.size(), 24));
    controller.identity[45] = info->major;
    controller.identity[46] = info->minor;
  }
}

}  // namespace Quorvane::Firmware
