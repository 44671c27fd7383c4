// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "link/Counter.h"
#include "link/PortIo.h"
#include "ports/usb/FtdiChip.h"

namespace fennow {

// What can go wrong with a simulated adapter.
struct SimulatedAdapterFaults {
  // Pulled out once this many bytes have been put out at its pins (negative: never). The write
  // under way has gone; from then on reads find no device and writes fail.
  std::int64_t unplugAfterBytes = -1;
  // Pulled out as the clock line rises at its pins for this time, counted from when it was
  // plugged in (0: never): a point in the protocol, however many updates each phase takes.
  std::uint64_t unplugAtClockPulse = 0;
  // This write, counting from 1 after the open, fails as a USB transfer and puts nothing out.
  int failWrite = 0;
  // Every read brings at most a few bytes, and every third read none at all.
  bool shortReads = false;
  // Nothing ever comes back.
  bool mute = false;
  // Brings a reply back one byte at a time, with this many empty reads (a latency-timer period
  // each) before each byte: a chip that never quite stops answering.
  int trickleEmptyReads = 0;
  // Refused at open, as libftdi 1.5 and libusb refuse: PermissionDenied (libusb_open gives
  // LIBUSB_ERROR_ACCESS), Busy (the claim fails), NotFound (libusb_open gives
  // LIBUSB_ERROR_NO_DEVICE) or IoError (the reset fails).
  ChipError openError = ChipError::None;
  // The serial number cannot be read when listing (what a missing udev rule does).
  bool serialUnreadable = false;
  // Every this many packets back to the host, one is lost whole (0: none), as counterfeit FT232RL
  // chips do on some USB 3 controllers.
  int dropEveryPacket = 0;
};

// How one adapter is built and what its pins are wired to.
struct SimulatedAdapterSetup {
  std::uint16_t product = 0x6001;  // FT232R; 0x6014 is an FT232H
  // Empty: a chip with a blank EEPROM, which has no serial string to give.
  std::string serial = "FN000001";
  // The lead's far end, seen through the registers of a parallel port at 0x378 (data) and 0x379
  // (status), such as the simulated Game Boy. Null: nothing is wired and every input floats high.
  PortIo* farEnd = nullptr;
  // Pin updates a second per unit of the rate argument. 0: the most that has been reported for
  // the chip, 64 for an FT232R and 80 for an FT232H (with libftdi's own factor of 4 in them).
  double updatesPerRate = 0;
  // From the start of a write until its reply can be read, at least: a USB round trip.
  std::int64_t roundTripNs = 1'000'000;
  SimulatedAdapterFaults faults;
};

// The lines at the pins, decoded from what the chip put out: the data register as the lead's far
// end sees it (LinkDataOut, LinkClock, LoopDrive), from `timeNs` on.
struct PinLevels {
  std::int64_t timeNs;
  std::uint8_t lines;
};

// A simulated FTDI chip in synchronous bit-bang mode, on a board wired to a link lead. It puts
// each written byte out at its pins at the bit-bang rate, one update after the other, driving the
// far end at the line level with the time of each update taken from the count of updates; it
// reads its pins just before each update, so what comes back is one byte behind what went out;
// and a reply can be read one round trip after its write at the earliest, a latency-timer period
// later still when its last packet is not full. A stream (FtdiChip::Stream) goes packet by
// packet: into the chip's buffer from the host while there is room, out at the pins while its
// readings have room, and back to the host a packet at a time, a frame carrying only so many
// packets both ways. Waiting is spinning on the counter, so time passes on a VirtualCounter in
// tests and on the real clock in the simulator program alike.
class SimulatedAdapter {
 public:
  SimulatedAdapter(SimulatedAdapterSetup setup, Counter& counter);

  const SimulatedAdapterSetup& Setup() const { return setup_; }
  SimulatedAdapterFaults& Faults() { return setup_.faults; }

  // The time at the pins of the update being put out (or the last one), on the counter's scale:
  // the clock the far end should stamp its edges with.
  std::int64_t PinTimeNs() const { return pinNowNs_; }
  // Every change of the lines at the pins, in order, up to the record limit.
  const std::vector<PinLevels>& Lines() const { return lines_; }
  void SetRecording(bool on) { recording_ = on; }
  void ClearRecords() { lines_.clear(); }

  std::int64_t UpdatesPerSecond() const;
  std::uint64_t Writes() const { return writes_; }      // USB writes, one per round trip
  std::uint64_t BytesOut() const { return bytesOut_; }  // updates put out at the pins
  std::size_t MostOutstanding() const { return mostOutstanding_; }
  bool Open() const { return open_; }
  bool Unplugged() const { return unplugged_; }
  // Pulls it out now, between two writes.
  void Unplug() { unplugged_ = true; }
  // Plugs it in again (pulling it out first if it is still in), as if fresh: back on the bus, no
  // handle open, serial mode, and any planned unplug forgotten. A handle from before stays dead,
  // as a real one does.
  void PlugBackIn();
  // Counts the times it was plugged in: a handle works only while it matches.
  int Plugging() const { return plugging_; }
  // Where it sits on the bus.
  std::uint8_t Address() const { return address_; }
  void SetAddress(std::uint8_t address) { address_ = address; }
  BitMode Mode() const { return mode_; }
  std::uint8_t Outputs() const { return outputs_; }
  int Rate() const { return rate_; }
  int LatencyTimerMs() const { return latencyMs_; }

  // The chip's side of FtdiChip, for the handle the fake bus opens.
  ChipResult Claim();
  void Release() { open_ = false; }
  ChipResult SetBitMode(std::uint8_t outputs, BitMode mode);
  ChipResult SetRate(int rate);
  ChipResult SetLatencyTimer(int ms);
  ChipResult DiscardReadBuffer();
  ChipResult Write(std::span<const std::uint8_t> bytes);
  ChipResult Read(std::span<std::uint8_t> bytes);
  ChipResult Stream(std::span<const std::uint8_t> out, std::span<std::uint8_t> back, int limitMs);
  ChipResult SetReadChunkSize(int bytes);
  int PacketPayload() const;
  std::int64_t FrameNs() const;
  std::uint64_t BytesDropped() const { return dropped_; }
  // Rising edges of the clock line at the pins since it was plugged in.
  std::uint64_t ClockPulses() const { return clockPulses_; }

 private:
  struct Reply {
    std::vector<std::uint8_t> bytes;
    std::size_t taken;
    std::int64_t readyNs;
  };

  void PutOut(std::uint8_t byte);
  // Whether it is pulled out before the next update, as planned by the faults.
  bool PulledOutNow();
  std::uint8_t ReadPins() const;
  void WaitUntil(std::int64_t ns);
  std::size_t Outstanding() const;

  SimulatedAdapterSetup setup_;
  Counter& counter_;
  bool open_ = false;
  bool unplugged_ = false;
  int plugging_ = 1;
  std::uint8_t address_ = 0;
  BitMode mode_ = BitMode::Reset;
  std::uint8_t outputs_ = 0;  // direction: a 1 bit is an output pin
  std::uint8_t driven_ = 0;   // the last byte put out
  std::uint8_t farData_ = 0;  // the data register as the far end last saw it
  int rate_ = 2'400;          // libftdi leaves 9600 baud at open: 2400 in bit-bang units
  int latencyMs_ = 16;
  int readChunk_ = 4096;  // libftdi's default
  std::uint64_t packetsSent_ = 0;
  std::uint64_t dropped_ = 0;
  std::uint64_t clockPulses_ = 0;
  int writesSinceOpen_ = 0;
  int readCalls_ = 0;
  int trickleLeft_ = 0;  // empty reads still to come before the next byte of a trickle
  std::int64_t pinNowNs_ = 0;
  std::int64_t pinFreeNs_ = 0;  // when the pins have put out everything written so far
  std::deque<Reply> replies_;
  std::uint64_t writes_ = 0;
  std::uint64_t bytesOut_ = 0;
  std::size_t mostOutstanding_ = 0;
  bool recording_ = true;
  std::vector<PinLevels> lines_;
};

// A USB bus with simulated adapters plugged in. Open hands out a chip that is the adapter's until
// it is closed. Every failure is made as libftdi 1.5 (src/ftdi.c) and libusb report it, and read
// by the same code as theirs (ports/usb/LibFtdiErrors.h).
class SimulatedFtdiBus final : public FtdiBus {
 public:
  static constexpr std::uint8_t kBusNumber = 1;

  explicit SimulatedFtdiBus(Counter& counter) : counter_(counter) {}

  // Plugs an adapter in at the next free address.
  SimulatedAdapter& Plug(SimulatedAdapterSetup setup);

  std::vector<ChipListing> List(std::uint16_t vendor, std::uint16_t product) override;
  Opened Open(const ChipListing& chip) override;
  // The listed chip with these IDs and serial number, for tests that do not hold a listing.
  Opened Open(std::uint16_t vendor, std::uint16_t product, const std::string& serial);

 private:
  Counter& counter_;
  std::vector<std::unique_ptr<SimulatedAdapter>> adapters_;
  std::uint8_t nextAddress_ = 2;  // 1 is the root hub's
};

}  // namespace fennow
