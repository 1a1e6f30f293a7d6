#include "center/firmware/simulated_bootloader.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <optional>

#include "common/platform/known_folders.h"
#include "common/platform/unique_fd.h"
#include "common/service/scramble.h"

namespace Quorvane::Firmware {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kFlashBytes = 32 * 1024;  // an ATmega32U4
constexpr std::uint8_t kSignature[3] = {0x87, 0x95, 0x1E};  // sent lowest byte first
constexpr std::uint16_t kBlockSize = 128;
constexpr auto kIdleLimit = 8s;
constexpr char kInfoMagic[] = "QVFWINFO";

}  // namespace

struct SimulatedBootloaderHost::Session {
  std::string controllerPath;
  std::string portName;    // the map's name
  std::string portPath;    // <port folder>/ttyQVSIM<n>
  Platform::UniqueFd master;
  Platform::UniqueFd slave;  // held open so the terminal stays up between programmers
  std::string flash = std::string(kFlashBytes, '\xFF');
  std::uint32_t wordAddress = 0;
  bool written = false;
  bool scrambled = false;  // the bootloader takes scrambled images
  bool refuseWrites = false;
  std::thread thread;
};

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

SimulatedBootloaderHost::SimulatedBootloaderHost(Device::SimulatedBackend& backend, SimulatedSerialPortMap& ports,
                                                 BootloaderOptions options)
    : backend_(backend), ports_(ports), options_(std::move(options)) {
  if (options_.portFolder.empty()) {
    options_.portFolder = Platform::RuntimeFolder(Platform::ProcessEnvironment()).value_or("/tmp");
  }
  backend_.SetResetHandler([this](const std::string& path) { Start(path); });
}

SimulatedBootloaderHost::~SimulatedBootloaderHost() {
  backend_.SetResetHandler({});
  stopping_ = true;
  std::lock_guard lock(mutex_);
  for (auto& session : sessions_) {
    if (session->thread.joinable()) session->thread.join();
  }
}

void SimulatedBootloaderHost::SetOptions(const BootloaderOptions& options) {
  std::lock_guard lock(mutex_);
  const std::string folder = options_.portFolder;
  options_ = options;
  if (options_.portFolder.empty()) {
    options_.portFolder = folder;
  }
}

void SimulatedBootloaderHost::HardwareReset(const std::string& controllerPath) {
  backend_.Modify(controllerPath, [](Device::SimulatedController& controller) { controller.present = false; });
  Start(controllerPath);
}

bool SimulatedBootloaderHost::CanMakePorts() const { return access(options_.portFolder.c_str(), W_OK) == 0; }

void SimulatedBootloaderHost::Start(const std::string& controllerPath) {
  std::lock_guard lock(mutex_);
  if (stopping_) {
    return;
  }
  auto session = std::make_unique<Session>();
  session->controllerPath = controllerPath;
  session->refuseWrites = options_.refuseWrites;
  session->scrambled = Device::HasScrambledBootloader(backend_.Describe(controllerPath).identity);
  session->master.Reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  const char* slaveName = nullptr;
  if (session->master.Valid() && grantpt(session->master.Get()) == 0 && unlockpt(session->master.Get()) == 0) {
    slaveName = ptsname(session->master.Get());
  }
  session->slave.Reset(slaveName ? open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1);
  if (session->slave.Valid()) {
    termios raw{};
    tcgetattr(session->slave.Get(), &raw);
    cfmakeraw(&raw);
    tcsetattr(session->slave.Get(), TCSANOW, &raw);
  }
  // Unique across processes too: several test programs may run bootloaders at once.
  const std::string number = std::to_string(getpid()) + "-" + std::to_string(nextNumber_++);
  const std::string portPath = options_.portFolder + "/ttyQVSIM" + number;
  unlink(portPath.c_str());
  // A bootloader without a port (told to, or the link cannot be made) waits for a programmer
  // that never comes and starts the firmware again, as a real one does.
  if (!options_.neverAppear && session->slave.Valid() && symlink(slaveName, portPath.c_str()) == 0) {
    session->portPath = portPath;
    session->portName = "/sys/devices/simulated/usb/qvsim" + number + "/tty/ttyQVSIM" + number;
    ports_.Add({session->portName, session->portPath, true});
  }
  Session& running = *session;
  sessions_.push_back(std::move(session));
  running.thread = std::thread([this, &running] { Serve(running); });
}

void SimulatedBootloaderHost::Serve(Session& session) {
  auto lastActivity = std::chrono::steady_clock::now();
  std::string pending;
  // Waits for `count` bytes of the command under way; false when the bootloader should leave.
  const auto need = [&](std::size_t count) {
    while (pending.size() < count) {
      if (stopping_ || std::chrono::steady_clock::now() - lastActivity > kIdleLimit) return false;
      pollfd descriptor{session.master.Get(), POLLIN, 0};
      if (poll(&descriptor, 1, 100) <= 0 || !(descriptor.revents & POLLIN)) continue;
      char buffer[4096];
      const ssize_t received = read(session.master.Get(), buffer, sizeof buffer);
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
    [[maybe_unused]] const auto written = write(session.master.Get(), bytes.data(), bytes.size());
  };
  const auto size16 = [](const std::string& bytes) {
    return static_cast<std::size_t>((static_cast<std::uint8_t>(bytes[0]) << 8) | static_cast<std::uint8_t>(bytes[1]));
  };

  while (need(1)) {
    const char command = take(1)[0];
    switch (command) {
      case 0x1B: break;  // escape: nothing to answer
      case 'S': answer("AVRBOOT"); break;
      case 'V': answer("10"); break;
      case 'v': answer("10"); break;
      case 'p': answer("S"); break;
      case 'a': answer("Y"); break;
      case 'b': answer(std::string("Y") + static_cast<char>(kBlockSize >> 8) + static_cast<char>(kBlockSize & 0xFF)); break;
      case 't': answer(std::string("\x44\x00", 2)); break;
      case 's': answer(std::string(reinterpret_cast<const char*>(kSignature), 3)); break;
      case 'F': answer("\xFF"); break;  // low fuse
      case 'N': answer("\xD8"); break;  // high fuse
      case 'Q': answer("\xCB"); break;  // extended fuse
      case 'r': answer("\x2F"); break;  // lock bits
      case 'P':
      case 'L': answer("\r"); break;
      case 'T':
      case 'x':
      case 'y':
      case 'l':
        if (!need(1)) return Leave(session);
        take(1);
        answer("\r");
        break;
      case 'e':
        session.flash.assign(kFlashBytes, '\xFF');
        answer("\r");
        break;
      case 'A': {
        if (!need(2)) return Leave(session);
        session.wordAddress = static_cast<std::uint32_t>(size16(take(2)));
        answer("\r");
        break;
      }
      case 'H': {
        if (!need(3)) return Leave(session);
        const std::string bytes = take(3);
        session.wordAddress = (static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[0])) << 16) |
                              static_cast<std::uint32_t>(size16(bytes.substr(1)));
        answer("\r");
        break;
      }
      case 'B': {
        if (!need(3)) return Leave(session);
        const std::string header = take(3);
        const std::size_t count = size16(header);
        if (!need(count)) return Leave(session);
        const std::string data = take(count);
        const std::size_t at = 2u * session.wordAddress;
        if (header[2] != 'F' || session.refuseWrites || at + count > kFlashBytes) {
          answer("?");
          break;
        }
        session.flash.replace(at, count, data);
        session.wordAddress += static_cast<std::uint32_t>((count + 1) / 2);
        session.written = true;
        answer("\r");
        break;
      }
      case 'g': {
        if (!need(3)) return Leave(session);
        const std::string header = take(3);
        const std::size_t count = size16(header);
        const std::size_t at = 2u * session.wordAddress;
        std::string data(count, '\xFF');
        if (header[2] == 'F' && at < kFlashBytes) {
          data = session.flash.substr(at, count);
          data.resize(count, '\xFF');
        }
        session.wordAddress += static_cast<std::uint32_t>((count + 1) / 2);
        answer(data);
        break;
      }
      case 'E':
        answer("\r");
        return Leave(session);
      default:
        answer("?");
        break;
    }
  }
  Leave(session);
}

void SimulatedBootloaderHost::Leave(Session& session) {
  if (!session.portPath.empty()) {
    ports_.Remove(session.portName);
    unlink(session.portPath.c_str());
  }
  if (session.written) {
    const std::string image = session.scrambled ? Service::UnscrambleBytes(session.flash) : session.flash;
    if (const auto info = FindFirmwareInfo(image)) {
      backend_.Modify(session.controllerPath, [&](Device::SimulatedController& controller) {
        std::memset(controller.identity.data() + 1, 0, 25);
        std::memcpy(controller.identity.data() + 1, info->name.data(), std::min<std::size_t>(info->name.size(), 24));
        controller.identity[45] = info->major;
        controller.identity[46] = info->minor;
      });
    }
  }
  // The firmware starts again: the controller is back on the HID list.
  backend_.Plug(session.controllerPath);
}

}  // namespace Quorvane::Firmware
