// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <linux/ppdev.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>

#include "link/PortIo.h"
#include "ports/parport/PpdevCalls.h"
#include "tests/support/FakeParport.h"

namespace fennow::test {

// What else is registered on a port, as the kernel's parport layer keeps it.
enum class Holder {
  None,
  IdleDriver,      // the printer driver lp, loaded and idle: registered, not claiming
  SharedClaim,     // lp printing, or another program's claim without PPEXCL
  ExclusiveClaim,  // another program's claim after PPEXCL
};

// One port of the model, with the lines behind its registers.
struct FakePpdevPort {
  std::uint16_t base = 0;
  PortIo* wire = nullptr;  // what the data and status registers reach; null: nothing plugged in
  Holder holder = Holder::None;
  // A shared holder lets go after this long; below zero, never while the claim waits.
  int releaseAfterMs = -1;
  int openError = 0;  // what open(2) fails with, 0 for nothing: EACCES for a user not in lp
  // The register request (counted from 1) from which each register request fails with
  // `failError`: a driver that reports errors, unlike parport_pc.
  long failFrom = 0;
  int failError = EIO;
  bool removed = false;  // the card taken out or parport_pc's port removed
  long registerRequests = 0;
};

// The kernel's ppdev driver on top of its parport layer, as drivers/char/ppdev.c and
// drivers/parport/share.c (Linux 6.1) behave, for the requests the program makes:
//   - open() registers nothing; the first PPCLAIM registers the device on the port
//     (register_device), exclusively when PPEXCL came first;
//   - an exclusive registration fails when any other device is registered on the port
//     ("cannot grant exclusive access"), and any registration fails when another holds it
//     exclusively ("no more devices allowed"); PPCLAIM then gives ENXIO, and the exclusive wish
//     stays with the open file;
//   - PPCLAIM on a port another device has claimed sleeps in parport_claim_or_block until it is
//     let go, or gives EINTR when a signal arrives; the kernel has no EBUSY here;
//   - PPEXCL after registration gives EINVAL unless already exclusive; a register request
//     before PPCLAIM, and a second PPCLAIM, give EINVAL;
//   - a removed port (parport_remove_port) keeps its registered devices but puts dead_ops in
//     place of its operations: writes do nothing and reads give 0, without an error. Its /proc
//     folder and, through udev, its /dev node go; a new registration gives ENXIO.
// A model waiting in a claim that the program never interrupts gives up after kNeverWakesMs and
// says so (sleptUnbounded), so a test fails instead of hanging.
class FakePpdev final : public PpdevCalls {
 public:
  static constexpr int kNeverWakesMs = 5000;

  explicit FakePpdev(FakeParportTree& tree) : tree_(tree) {}

  // Lists the port in the tree as parportN with its base-addr, and makes it answerable.
  FakePpdevPort& AddPort(int number, std::uint16_t base, PortIo* wire,
                         const std::string& ecp = "0") {
    const std::string name = "parport" + std::to_string(number);
    tree_.AddPort(name, std::to_string(base) + "\t" + ecp + "\n");
    FakePpdevPort& port = ports_[tree_.Device(name)];
    port = FakePpdevPort{};
    port.base = base;
    port.wire = wire;
    return port;
  }
  FakePpdevPort& Port(int number) {
    return ports_[tree_.Device("parport" + std::to_string(number))];
  }
  void Remove(int number) {
    Port(number).removed = true;
    tree_.RemovePort("parport" + std::to_string(number));
  }

  int Open(const std::string& path) override {
    const auto port = ports_.find(path);
    if (port == ports_.end() || port->second.removed) return -ENOENT;
    if (port->second.openError != 0) return -port->second.openError;
    files_[next_] = File{path};
    ++opens;
    return next_++;
  }

  int Ioctl(int fd, unsigned long request, void* argument) override {
    const auto found = files_.find(fd);
    if (found == files_.end()) return -EBADF;
    File& file = found->second;
    FakePpdevPort& port = ports_[file.path];
    switch (request) {
      case PPEXCL:
        if (file.registered) return file.exclusive ? 0 : -EINVAL;
        file.exclusive = true;
        return 0;
      case PPCLAIM:
        return Claim(file, port);
      case PPRELEASE:
        if (!file.claimed) return -EINVAL;
        file.claimed = false;
        return 0;
      default:
        break;
    }
    if (!file.claimed) return -EINVAL;
    ++port.registerRequests;
    if (port.failFrom > 0 && port.registerRequests >= port.failFrom) return -port.failError;
    auto* byte = static_cast<unsigned char*>(argument);
    switch (request) {
      case PPWDATA:
        if (!port.removed && port.wire != nullptr) port.wire->Write(port.base, *byte);
        return 0;
      case PPRSTATUS:
        *byte = port.removed ? 0
                : port.wire != nullptr
                    ? port.wire->Read(static_cast<std::uint16_t>(port.base + 1))
                    : 0x7F;  // nothing plugged in: the pulled-up inputs, BUSY inverted
        return 0;
      default:
        return -EINVAL;
    }
  }

  void Close(int fd) override { files_.erase(fd); }

  // Whether a file of port `number` holds its claim now.
  bool Claimed(int number) const {
    const std::string path = tree_.Device("parport" + std::to_string(number));
    return std::any_of(files_.begin(), files_.end(), [&](const auto& file) {
      return file.second.path == path && file.second.claimed;
    });
  }

  int opens = 0;
  bool sleptUnbounded = false;

 private:
  struct File {
    std::string path;
    bool exclusive = false;
    bool registered = false;
    bool claimed = false;
  };

  int Claim(File& file, FakePpdevPort& port) {
    if (file.claimed) return -EINVAL;
    if (!file.registered) {
      if (port.removed) return -ENXIO;
      if (file.exclusive && port.holder != Holder::None) return -ENXIO;
      if (port.holder == Holder::ExclusiveClaim) return -ENXIO;
      file.registered = true;
    }
    if (port.holder == Holder::SharedClaim) {
      const int wait = port.releaseAfterMs >= 0 ? port.releaseAfterMs : kNeverWakesMs;
      if (Sleep(wait)) return -EINTR;
      if (port.releaseAfterMs < 0) {
        sleptUnbounded = true;
        return -EINTR;
      }
      port.holder = Holder::IdleDriver;
    }
    file.claimed = true;
    return 0;
  }

  // True when a signal handler ran during the sleep, as it wakes an interruptible sleep.
  static bool Sleep(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      const auto left = until - std::chrono::steady_clock::now();
      if (left <= std::chrono::steady_clock::duration::zero()) return false;
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      const timespec timeout{static_cast<time_t>(ns / 1'000'000'000), ns % 1'000'000'000};
      if (ppoll(nullptr, 0, &timeout, nullptr) < 0 && errno == EINTR) return true;
    }
  }

  FakeParportTree& tree_;
  std::map<std::string, FakePpdevPort> ports_;
  std::map<int, File> files_;
  int next_ = 3;
};

}  // namespace fennow::test
