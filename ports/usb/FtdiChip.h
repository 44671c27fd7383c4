// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// Our own thin face of an FTDI USB chip (FT232R, FT232H) and of the USB bus it sits on: just what
// the USB link adapter needs. The program reaches the chip through libftdi (MakeLibFtdiBus); tests
// and the simulator put a fake in its place.
namespace fennow {

// Why a call to the chip failed, in terms a user can act on.
enum class ChipError : std::uint8_t {
  None,
  PermissionDenied,  // the user may not open the device: no udev rule gives them access
  Busy,              // another program, or a driver that would not let go, has claimed it
  NotFound,          // not on the bus, or unplugged
  IoError,           // a USB transfer or a setting failed
};

// What a call came to. For Write and Read also how many bytes moved.
struct ChipResult {
  ChipError error = ChipError::None;
  std::string text;  // the library's own words when it failed
  int count = 0;

  bool ok() const { return error == ChipError::None; }
};

enum class BitMode : std::uint8_t {
  Reset,        // back to the serial port the chip is out of the box
  SyncBitBang,  // each byte written sets the pins; the pins are read just before, one byte back
};

// A chip seen on the bus, before anyone opened it.
struct ChipListing {
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::string serial;  // empty when the chip has none, or it could not be read
  ChipResult access;   // why the serial could not be read: reading it means opening the device
  // Where it sits on the bus now; a chip plugged in again may sit elsewhere.
  std::uint8_t bus = 0;
  std::uint8_t address = 0;
};

// An opened chip. Closing, also by destruction, hands it back to the kernel's serial driver.
class FtdiChip {
 public:
  virtual ~FtdiChip() = default;
  // `outputs`: a 1 bit makes that pin an output.
  virtual ChipResult SetBitMode(std::uint8_t outputs, BitMode mode) = 0;
  // The rate argument as libftdi takes it, given after the bit mode (libftdi then scales it).
  virtual ChipResult SetRate(int rate) = 0;
  // How long the chip holds back a packet that is not full, 1..255 ms; and what it is now.
  virtual ChipResult SetLatencyTimer(int ms) = 0;
  virtual ChipResult GetLatencyTimer(int& ms) = 0;
  // Drops whatever the chip and the library hold that the host has not read yet.
  virtual ChipResult DiscardReadBuffer() = 0;
  // All of `bytes`, or a failure.
  virtual ChipResult Write(std::span<const std::uint8_t> bytes) = 0;
  // Up to bytes.size(), possibly fewer or none: what has arrived.
  virtual ChipResult Read(std::span<std::uint8_t> bytes) = 0;
  // Writes all of `out` while reads stay in flight on the chip the whole time, so that its
  // readings flow back to the host as the host still writes: the chip always has a read to send
  // them in, and neither of its buffers fills. Ends when `back` is full, or `limitMs` after it
  // began with what had come by then (`count`), or once nothing has come for `idleMs`. A failure
  // is the write's when it had not all gone, else the first read's that failed.
  virtual ChipResult Stream(std::span<const std::uint8_t> out, std::span<std::uint8_t> back,
                            int limitMs, int idleMs) = 0;
  // How much one USB read asks the chip for, the chip's two status bytes a packet included. A
  // read ends when that much has come or the chip sends a short packet, which it does only when
  // its latency timer runs out: asked for more than the reply, the read waits that out. Drops
  // whatever the library holds that has not been read.
  virtual ChipResult SetReadChunkSize(int bytes) = 0;
  // Bytes of data in one USB packet from the chip (its status bytes not counted): 62 at full
  // speed. The chip sends a packet as soon as it is full, else when the latency timer runs out.
  virtual int PacketPayload() const = 0;
  virtual void Close() = 0;
};

// The USB bus, as far as FTDI chips go.
class FtdiBus {
 public:
  struct Opened {
    std::unique_ptr<FtdiChip> chip;  // null on failure
    ChipResult result;
  };

  virtual ~FtdiBus() = default;
  // Every chip with these IDs, in the order the bus lists them.
  virtual std::vector<ChipListing> List(std::uint16_t vendor, std::uint16_t product) = 0;
  // The chip a listing names, by where it sits on the bus: so a chip without a serial number is
  // opened as surely as one with.
  virtual Opened Open(const ChipListing& chip) = 0;
};

}  // namespace fennow
