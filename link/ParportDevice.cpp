#include "link/ParportDevice.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

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

// "parport12" -> 12; nothing for the kernel's other entries there, such as "default".
std::optional<int> PortNumber(const std::string& name) {
  constexpr std::string_view kPrefix = "parport";
  if (name.size() <= kPrefix.size() || name.compare(0, kPrefix.size(), kPrefix) != 0) {
    return std::nullopt;
  }
  int number = 0;
  for (std::size_t i = kPrefix.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || number > 9999) return std::nullopt;
    number = number * 10 + (name[i] - '0');
  }
  return number;
}

}  // namespace

std::optional<std::uint32_t> ParseBaseAddress(const std::string& text) {
  std::istringstream in(text);
  long long value = -1;
  if (!(in >> value) || value < 0 || value > 0xFFFF) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

std::vector<ParportEntry> ListParportDevices(const std::string& procRoot,
                                             const std::string& deviceRoot) {
  namespace fs = std::filesystem;
  std::error_code error;
  std::vector<ParportEntry> ports;
  for (const fs::directory_entry& entry : fs::directory_iterator(procRoot, error)) {
    const std::string name = entry.path().filename().string();
    const std::optional<int> number = PortNumber(name);
    if (!number) continue;
    std::ifstream file(entry.path() / "base-addr");
    std::stringstream text;
    text << file.rdbuf();
    const std::optional<std::uint32_t> base = ParseBaseAddress(text.str());
    if (!base) continue;
    ports.push_back(
        {*number, static_cast<std::uint16_t>(*base), (fs::path(deviceRoot) / name).string()});
  }
  // Directory order is arbitrary; the kernel's numbering is stable.
  std::sort(ports.begin(), ports.end(),
            [](const ParportEntry& a, const ParportEntry& b) { return a.number < b.number; });
  return ports;
}

std::optional<std::string> FindParportDevice(const std::string& procRoot,
                                             const std::string& deviceRoot, std::uint32_t base) {
  for (const ParportEntry& port : ListParportDevices(procRoot, deviceRoot)) {
    if (port.base == base) return port.device;
  }
  return std::nullopt;
}

DeviceOpenResult OpenParportDevice(const std::string& path, std::uint16_t base) {
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return {nullptr, errno};
  // Exclusive when the kernel allows it, so no printer driver toggles the lines mid-transfer;
  // a port that others merely share is still usable.
  ioctl(fd, PPEXCL);
  if (ioctl(fd, PPCLAIM) != 0) {
    const int error = errno;
    close(fd);
    return {nullptr, error};
  }
  return {std::make_unique<ParportDevice>(fd, base), 0};
}

}  // namespace fennow
