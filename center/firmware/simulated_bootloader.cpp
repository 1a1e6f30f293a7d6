#include "center/firmware/simulated_bootloader.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include "common/platform/known_folders.h"
#include "common/platform/unique_fd.h"

namespace Quorvane::Firmware {

struct SimulatedBootloaderHost::Session {
  std::string controllerPath;
  std::string portName;  // the map's name
  std::string portPath;  // <port folder>/ttyQVSIM<n>
  Platform::UniqueFd master;
  Platform::UniqueFd slave;  // held open so the terminal stays up between programmers
  Avr109Bootloader bootloader;
  std::thread thread;
};

SimulatedBootloaderHost::SimulatedBootloaderHost(Device::SimulatedBackend& backend,
                                                 SimulatedSerialPortMap& ports,
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
  backend_.Modify(controllerPath,
                  [](Device::SimulatedController& controller) { controller.present = false; });
  Start(controllerPath);
}

void SimulatedBootloaderHost::Start(const std::string& controllerPath) {
  std::lock_guard lock(mutex_);
  if (stopping_) {
    return;
  }
  auto session = std::make_unique<Session>(Session{
      controllerPath,
      {},
      {},
      {},
      {},
      Avr109Bootloader(Device::HasScrambledBootloader(backend_.Describe(controllerPath).identity),
                       options_.refuseWrites),
      {}});
  session->master.Reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  const char* slaveName = nullptr;
  if (session->master.Valid() && grantpt(session->master.Get()) == 0 &&
      unlockpt(session->master.Get()) == 0) {
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
  if (!options_.neverAppear && session->slave.Valid() &&
      symlink(slaveName, portPath.c_str()) == 0) {
    session->portPath = portPath;
    session->portName = "/sys/devices/simulated/usb/qvsim" + number + "/tty/ttyQVSIM" + number;
    ports_.Add({session->portName, session->portPath, true});
  }
  Session& running = *session;
  sessions_.push_back(std::move(session));
  running.thread = std::thread([this, &running] { Serve(running); });
}

void SimulatedBootloaderHost::Serve(Session& session) {
  session.bootloader.Serve(session.master.Get(), stopping_);
  Leave(session);
}

void SimulatedBootloaderHost::Leave(Session& session) {
  if (!session.portPath.empty()) {
    ports_.Remove(session.portName);
    unlink(session.portPath.c_str());
  }
  backend_.Modify(session.controllerPath, [&](Device::SimulatedController& controller) {
    session.bootloader.ApplyTo(controller);
  });
  // The firmware starts again: the controller is back on the HID list.
  backend_.Plug(session.controllerPath);
}

}  // namespace Quorvane::Firmware
