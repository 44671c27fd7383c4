#include "link/ParportDevice.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fennow {

namespace {

class ParportDevice final : public PortIo {
 public:
  ParportDevice(int fd, std::uint16_t base) : fd_(fd), base_(base) {}
  ~ParportDevice() override {
    ioctl(fd_, PPRELEASE);
    close(fd_);
  }
  ParportDevice(const ParportDevice&) = delete;
  ParportDevice& operator=(const ParportDevice&) = delete;

  void Write(std::uint16_t address, std::uint8_t value) override {
    if (address != base_) return;  // the link only ever writes the data register
    unsigned char data = value;
    ioctl(fd_, PPWDATA, &data);
  }

  std::uint8_t Read(std::uint16_t address) override {
    if (address != base_ + 1) return 0xFF;
    unsigned char status = 0xFF;
    // The raw status register, BUSY still inverted: the link expects the register as it is.
    if (ioctl(fd_, PPRSTATUS, &status) != 0) return 0xFF;
    return status;
  }

 private:
  int fd_;
  std::uint16_t base_;
};

std::string Describe(const std::string& path, int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return "permission denied on " + path +
             "; add your user to group lp (sudo adduser $USER lp) and log in again";
    case EBUSY:
      return path + " is busy: another program or driver (a printer daemon?) holds the port";
    case ENOTTY:
    case EINVAL:
      return path + " is not a parallel-port device";
    default:
      return path + ": " + std::strerror(error);
  }
}

}  // namespace

std::optional<std::uint32_t> ParseBaseAddress(const std::string& text) {
  std::istringstream in(text);
  long long value = -1;
  if (!(in >> value) || value < 0 || value > 0xFFFF) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

std::optional<std::string> FindParportDevice(const std::string& procRoot,
                                             const std::string& deviceRoot, std::uint32_t base) {
  namespace fs = std::filesystem;
  std::error_code error;
  std::optional<std::string> found;
  for (const fs::directory_entry& entry : fs::directory_iterator(procRoot, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("parport", 0) != 0) continue;
    std::ifstream file(entry.path() / "base-addr");
    std::stringstream text;
    text << file.rdbuf();
    if (ParseBaseAddress(text.str()) != base) continue;
    // Directory order is arbitrary; take the lowest-numbered match so the choice is stable.
    const std::string path = (fs::path(deviceRoot) / name).string();
    if (!found || path < *found) found = path;
  }
  return found;
}

DeviceOpenResult OpenParportDevice(const std::string& path, std::uint16_t base) {
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return {nullptr, Describe(path, errno)};
  // Exclusive when the kernel allows it, so no printer driver toggles the lines mid-transfer;
  // a port that others merely share is still usable.
  ioctl(fd, PPEXCL);
  if (ioctl(fd, PPCLAIM) != 0) {
    const int error = errno;
    close(fd);
    return {nullptr, Describe(path, error)};
  }
  return {std::make_unique<ParportDevice>(fd, base), {}};
}

}  // namespace fennow
