// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fennow::test {

// A /proc/sys/dev/parport and a /dev of our own making, removed again with the object.
class FakeParportTree {
 public:
  explicit FakeParportTree(std::string name)
      : root_(std::filesystem::temp_directory_path() /
              ("fennow-parport-" + std::to_string(getpid()) + "-" + Flat(std::move(name)))) {
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(proc());
    std::filesystem::create_directories(dev());
  }
  ~FakeParportTree() { std::filesystem::remove_all(root_); }
  FakeParportTree(const FakeParportTree&) = delete;
  FakeParportTree& operator=(const FakeParportTree&) = delete;

  std::filesystem::path root() const { return root_; }
  std::filesystem::path proc() const { return root_ / "proc"; }
  std::filesystem::path dev() const { return root_ / "dev"; }
  std::string Device(const std::string& name) const { return (dev() / name).string(); }

  // A port as the kernel lists it; base-addr holds what the kernel writes there, "888\t0\n" for
  // the first onboard port. A plain file stands in for the device node.
  void AddPort(const std::string& name, const std::string& baseAddr, bool withNode = true) const {
    std::filesystem::create_directories(proc() / name);
    std::ofstream(proc() / name / "base-addr") << baseAddr;
    if (withNode) std::ofstream(dev() / name) << "";
  }
  void RemovePort(const std::string& name) const {
    std::filesystem::remove_all(proc() / name);
    std::filesystem::remove(dev() / name);
  }

 private:
  // A parameterised test's name has a slash in it.
  static std::string Flat(std::string name) {
    for (char& c : name) c = c == '/' ? '-' : c;
    return name;
  }
  std::filesystem::path root_;
};

}  // namespace fennow::test
