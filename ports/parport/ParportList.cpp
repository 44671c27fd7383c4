// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/parport/ParportList.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fennow {

namespace {

// The highest base whose status register still has an address.
constexpr std::uint32_t kHighestBase = 0xFFFE;
// More than any port number or I/O address can have, so that parsing never overflows.
constexpr std::size_t kMaxDigits = 5;
// A base-addr file is a line of two numbers; anything longer is not the kernel's.
constexpr std::streamsize kMaxBaseAddrBytes = 32;

// A decimal number as the kernel prints one with %lu or %d: digits only, no leading zero.
std::optional<std::uint32_t> ParseDecimal(std::string_view text) {
  if (text.empty() || text.size() > kMaxDigits) return std::nullopt;
  if (text.size() > 1 && text.front() == '0') return std::nullopt;
  std::uint32_t value = 0;
  for (const char digit : text) {
    if (digit < '0' || digit > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(digit - '0');
  }
  return value;
}

std::string ReadSmallFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::string text(kMaxBaseAddrBytes + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
  return text;
}

}  // namespace

std::optional<std::uint16_t> ParseBaseAddress(std::string_view text) {
  if (text.empty() || text.back() != '\n') return std::nullopt;
  text.remove_suffix(1);
  const std::size_t tab = text.find('\t');
  const std::optional<std::uint32_t> base = ParseDecimal(text.substr(0, tab));
  if (!base || *base == 0 || *base > kHighestBase) return std::nullopt;
  if (tab != std::string_view::npos && !ParseDecimal(text.substr(tab + 1))) return std::nullopt;
  return static_cast<std::uint16_t>(*base);
}

std::optional<int> ParsePortFolder(std::string_view name) {
  constexpr std::string_view kPrefix = "parport";
  if (!name.starts_with(kPrefix)) return std::nullopt;
  const std::optional<std::uint32_t> number = ParseDecimal(name.substr(kPrefix.size()));
  if (!number) return std::nullopt;
  return static_cast<int>(*number);
}

std::vector<ParportEntry> ListParportDevices(const std::string& procRoot,
                                             const std::string& deviceRoot) {
  namespace fs = std::filesystem;
  std::error_code error;
  std::vector<ParportEntry> ports;
  if (procRoot.empty()) return ports;
  for (const fs::directory_entry& entry : fs::directory_iterator(procRoot, error)) {
    const std::string name = entry.path().filename().string();
    const std::optional<int> number = ParsePortFolder(name);
    if (!number) continue;  // the kernel's other entries there, such as "default"
    // Only a regular file is read: a FIFO or device in a tree not the kernel's would block.
    if (!fs::is_regular_file(entry.path() / "base-addr", error)) continue;
    const std::optional<std::uint16_t> base =
        ParseBaseAddress(ReadSmallFile(entry.path() / "base-addr"));
    if (!base) continue;
    ports.push_back(
        {*number, *base, (fs::path(deviceRoot) / name).string(), entry.path().string()});
  }
  // Directory order is arbitrary; the kernel's numbering is stable and unique.
  std::sort(ports.begin(), ports.end(),
            [](const ParportEntry& a, const ParportEntry& b) { return a.number < b.number; });
  return ports;
}

std::optional<ParportEntry> FindParportDevice(const std::string& procRoot,
                                              const std::string& deviceRoot, std::uint32_t base) {
  for (ParportEntry& port : ListParportDevices(procRoot, deviceRoot)) {
    if (port.base == base) return std::move(port);
  }
  return std::nullopt;
}

bool StillListed(const std::string& entry) {
  return access(entry.c_str(), F_OK) == 0;
}

}  // namespace fennow
