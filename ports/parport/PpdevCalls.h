// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace fennow {

// The kernel calls through which a parallel-port device is driven: open(2) of /dev/parportN,
// ioctl(2) with the ppdev requests of <linux/ppdev.h>, close(2). Tests put a model of the
// kernel's ppdev driver in their place.
class PpdevCalls {
 public:
  virtual ~PpdevCalls() = default;
  // The descriptor, or -errno.
  virtual int Open(const std::string& path) = 0;
  // 0, or -errno. `argument` points to what the request reads or writes (one byte for the
  // register requests), or is null for requests without one.
  virtual int Ioctl(int fd, unsigned long request, void* argument) = 0;
  virtual void Close(int fd) = 0;
};

// The running kernel's.
PpdevCalls& SystemPpdev();

}  // namespace fennow
