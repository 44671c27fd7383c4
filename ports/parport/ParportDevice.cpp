// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/parport/ParportDevice.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "ports/parport/SyscallDeadline.h"

namespace fennow {

namespace {

class ParportDevice final : public PortIo {
 public:
  ParportDevice(PpdevCalls& kernel, int fd, const ParportEntry& port)
      : kernel_(kernel),
        fd_(fd),
        data_(port.base),
        status_(static_cast<std::uint16_t>(port.base + 1u)),
        device_(port.device),
        entry_(port.entry) {}
  ~ParportDevice() override {
    kernel_.Ioctl(fd_, PPRELEASE, nullptr);
    kernel_.Close(fd_);
  }
  ParportDevice(const ParportDevice&) = delete;
  ParportDevice& operator=(const ParportDevice&) = delete;

  void Write(std::uint16_t address, std::uint8_t value) override {
    if (address != data_ || !lost_.empty()) return;  // the link only ever writes the data register
    unsigned char data = value;
    Check(kernel_.Ioctl(fd_, PPWDATA, &data));
  }

  std::uint8_t Read(std::uint16_t address) override {
    if (address != status_ || !lost_.empty()) return 0xFF;
    // The raw status register, BUSY still inverted: the link expects the register as it is.
    unsigned char status = 0xFF;
    if (!Check(kernel_.Ioctl(fd_, PPRSTATUS, &status))) return 0xFF;
    return status;
  }

  std::string LostReason() const override {
    if (lost_.empty() && !StillListed(entry_)) lost_ = device_ + " has gone away";
    return lost_;
  }

 private:
  // A working device never fails these requests: the first failure ends its use.
  bool Check(int result) {
    if (result == 0) return true;
    if (lost_.empty()) lost_ = device_ + " failed: " + std::strerror(-result);
    return false;
  }

  PpdevCalls& kernel_;
  int fd_;
  std::uint16_t data_;
  std::uint16_t status_;
  std::string device_;
  std::string entry_;
  mutable std::string lost_;
};

class SystemCalls final : public PpdevCalls {
 public:
  int Open(const std::string& path) override {
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
  }
  int Ioctl(int fd, unsigned long request, void* argument) override {
    return ioctl(fd, request, argument) == 0 ? 0 : -errno;
  }
  void Close(int fd) override { close(fd); }
};

struct Claim {
  int fd = -1;    // the claimed descriptor, or -1
  int error = 0;  // why not
};

Claim ClaimExclusive(PpdevCalls& kernel, const std::string& device) {
  const int fd = kernel.Open(device);
  if (fd < 0) return {-1, -fd};
  int result = kernel.Ioctl(fd, PPEXCL, nullptr);
  if (result == 0) result = kernel.Ioctl(fd, PPCLAIM, nullptr);
  if (result == 0) return {fd, 0};
  kernel.Close(fd);
  return {-1, -result};
}

// The exclusive wish stays with the open file, so a shared claim needs a file of its own.
Claim ClaimShared(PpdevCalls& kernel, const std::string& device) {
  const int fd = kernel.Open(device);
  if (fd < 0) return {-1, -fd};
  int result = 0;
  {
    const SyscallDeadline deadline{std::chrono::milliseconds(kSharedClaimWaitMs)};
    result = kernel.Ioctl(fd, PPCLAIM, nullptr);
  }
  if (result == 0) return {fd, 0};
  kernel.Close(fd);
  return {-1, -result};
}

}  // namespace

PpdevCalls& SystemPpdev() {
  static SystemCalls calls;
  return calls;
}

DeviceOpenResult OpenParportDevice(PpdevCalls& kernel, const ParportEntry& port) {
  Claim claim = ClaimExclusive(kernel, port.device);
  if (claim.fd < 0 && claim.error == ENXIO && StillListed(port.entry)) {
    claim = ClaimShared(kernel, port.device);
    // Still waiting when the deadline came, or another program's exclusive claim.
    const bool held = claim.error == EINTR || (claim.error == ENXIO && StillListed(port.entry));
    if (claim.fd < 0) return {nullptr, claim.error, held};
  }
  if (claim.fd < 0) return {nullptr, claim.error, false};
  return {std::make_unique<ParportDevice>(kernel, claim.fd, port), 0, false};
}

}  // namespace fennow
