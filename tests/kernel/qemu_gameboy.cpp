// SPDX-License-Identifier: GPL-3.0-or-later
// A preload library for QEMU: the simulated Game Boy behind the host parallel-port device that
// QEMU's "-chardev parport" drives, so that a guest's own parport_pc and ppdev reach it through
// QEMU's emulated port. QEMU opens the device (path FENNOW_GAMEBOY_DEVICE), claims it with
// PPCLAIM and, once its PPRSTATUS answers, passes each guest access to the data and status
// registers on as PPWDATA (only when the value changes) and PPRSTATUS; this library answers them.
//
// The Game Boy is deaf until the control file (FENNOW_GAMEBOY_CONTROL) says what it plays, so
// that parport_pc's probe of the port at load clocks nothing into it. Each change of the file
// starts a new session, a fresh Game Boy; its first word is the session's name, then "screen",
// "data" or "off", then "gameboy" (the lead in the Game Boy), "loop" (out of it, looped back) or,
// with "off", "printer" (an idle printer on the port in its place, which takes whatever it is
// sent: BUSY low, ACK high, paper, selected, no fault).
// When a session ends, one line of its timing at the pins goes to FENNOW_GAMEBOY_TIMING.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>

#include "sim/SimulatedGameBoy.h"
#include "tests/kernel/GuestGameBoy.h"

namespace {

using fennow::SimulatedGameBoy;

constexpr std::uint16_t kData = 0x378;
constexpr std::uint16_t kStatus = 0x379;
// BUSY low (read inverted: 1), ACK high, paper in, selected, no fault; the unwired bits high.
constexpr std::uint8_t kIdlePrinterStatus = 0xDF;

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

struct Session {
  std::string name;
  std::unique_ptr<SimulatedGameBoy> gameBoy;  // null while deaf
  std::uint64_t writes = 0;
  bool printer = false;  // an idle printer in place of the Game Boy
};

// QEMU's vCPU threads reach the board under its own lock, but its exit runs the library's
// destructor on the main thread while they may still be running: every call takes the board's.
class Board {
 public:
  int fd = -1;  // the descriptor QEMU holds for the device

  void OnWrite(std::uint8_t value) {
    const std::lock_guard<std::mutex> hold(lock_);
    Refresh();
    ++session_.writes;
    if (session_.gameBoy) session_.gameBoy->Write(kData, value);
  }
  std::uint8_t OnStatus() {
    const std::lock_guard<std::mutex> hold(lock_);
    Refresh();
    if (session_.gameBoy) return session_.gameBoy->Read(kStatus);
    // An idle printer; else deaf, nothing plugged in: the inputs float high, BUSY reads inverted.
    return session_.printer ? kIdlePrinterStatus : std::uint8_t{0x7F};
  }
  void End() {
    const std::lock_guard<std::mutex> hold(lock_);
    Report();
  }

 private:
  // A new session whenever the control file changed.
  void Refresh() {
    const std::int64_t stamp = fennow::kernel::ControlStamp(Env("FENNOW_GAMEBOY_CONTROL"));
    if (stamp < 0 || stamp == stamp_) return;
    stamp_ = stamp;
    Report();
    std::ifstream control(Env("FENNOW_GAMEBOY_CONTROL"));
    std::string name, mode, lead;
    control >> name >> mode >> lead;
    session_ = Session{name, nullptr, 0};
    session_.printer = lead == "printer";
    session_.gameBoy = fennow::kernel::PlayingGameBoy(mode, lead, fennow::kernel::MonotonicNs);
  }

  // What the Game Boy saw, as a line of the timing file.
  void Report() {
    if (!session_.gameBoy) return;
    if (FILE* out = std::fopen(Env("FENNOW_GAMEBOY_TIMING"), "a")) {
      std::fprintf(out, "%s writes=%llu %s\n", session_.name.c_str(),
                   static_cast<unsigned long long>(session_.writes),
                   fennow::kernel::TimingLine(*session_.gameBoy).c_str());
      std::fclose(out);
    }
    session_.gameBoy.reset();
  }

  std::mutex lock_;
  Session session_;
  std::int64_t stamp_ = -1;
};

// Never destroyed: a vCPU thread may still reach it while the process exits.
Board& TheBoard() {
  static Board* board = new Board;
  return *board;
}

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool IsDevice(const char* path) {
  return path != nullptr && std::strcmp(path, Env("FENNOW_GAMEBOY_DEVICE")) == 0;
}

int OpenBoard() {
  // A descriptor of its own, so that QEMU's close and poll see a real file.
  const int fd = Next<int (*)(const char*, int, ...)>("open")("/dev/null", O_RDWR | O_CLOEXEC);
  TheBoard().fd = fd;
  return fd;
}

__attribute__((destructor)) void AtExit() {
  TheBoard().End();
}

}  // namespace

extern "C" {

// open(2) and its kin: the device is the board, any other path goes on to the C library. Each
// takes its mode from its own variable arguments.
#define FENNOW_MODE(last)                   \
  va_list args;                             \
  va_start(args, last);                     \
  const mode_t mode = va_arg(args, mode_t); \
  va_end(args)

int open(const char* path, int flags, ...) {
  FENNOW_MODE(flags);
  return IsDevice(path) ? OpenBoard()
                        : Next<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  FENNOW_MODE(flags);
  return IsDevice(path) ? OpenBoard()
                        : Next<int (*)(const char*, int, ...)>("open64")(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  FENNOW_MODE(flags);
  return IsDevice(path)
             ? OpenBoard()
             : Next<int (*)(int, const char*, int, ...)>("openat")(dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
  FENNOW_MODE(flags);
  return IsDevice(path)
             ? OpenBoard()
             : Next<int (*)(int, const char*, int, ...)>("openat64")(dir, path, flags, mode);
}

int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  Board& board = TheBoard();
  if (fd < 0 || fd != board.fd) {
    return Next<int (*)(int, unsigned long, void*)>("ioctl")(fd, request, argument);
  }
  auto* byte = static_cast<unsigned char*>(argument);
  switch (request) {
    case PPWDATA:
      board.OnWrite(*byte);
      return 0;
    case PPRSTATUS:
      *byte = board.OnStatus();
      return 0;
    case PPRDATA:
    case PPRCONTROL:
      *byte = 0;
      return 0;
    default:  // the claim, the control register, the mode: nothing to do for a Game Boy
      return 0;
  }
}

}  // extern "C"
