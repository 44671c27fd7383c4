// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "link/Counter.h"
#include "link/PortIo.h"
#include "ports/usb/FtdiChip.h"
#include "sim/SimulatedChip.h"

namespace fennow {

// A simulated FTDI chip on a board wired to a link lead, as the program meets it through libftdi
// 1.5 and libusb on a host controller: each of libftdi's calls becomes the control requests it
// sends (src/ftdi.c) and each bulk transfer moves a packet at a time over the bus's slots, at
// most one packet a slot in either direction (`packetsPerFrame` a frame), starting half a round
// trip after the program started it. A write waits while the chip's buffer from the host is full
// (the chip NAKs); a read ends on a short packet or when it has what it asked for, and strips
// the two status bytes at the start of every packet as ftdi_read_data does; a stream keeps reads
// in flight for as long as it lasts, so the chip can always send. The chip itself (SimulatedChip)
// is the one the USB/IP server serves to a real kernel. Waiting is spinning on the counter, so
// time passes on a VirtualCounter in tests and on the real clock in the simulator program alike.
class SimulatedAdapter {
 public:
  SimulatedAdapter(SimulatedAdapterSetup setup, Counter& counter);
  SimulatedAdapter(const SimulatedAdapter&) = delete;
  SimulatedAdapter& operator=(const SimulatedAdapter&) = delete;

  const SimulatedAdapterSetup& Setup() const { return setup_; }
  SimulatedAdapterFaults& Faults() { return setup_.faults; }
  SimulatedChip& Chip() { return chip_; }
  const SimulatedChip& Chip() const { return chip_; }

  // The chip's observers, for tests.
  std::int64_t PinTimeNs() const { return chip_.PinTimeNs(); }
  const std::vector<PinLevels>& Lines() const { return chip_.Lines(); }
  void SetRecording(bool on) { chip_.SetRecording(on); }
  void ClearRecords() { chip_.ClearRecords(); }
  std::int64_t UpdatesPerSecond() const { return chip_.UpdatesPerSecond(); }
  std::uint64_t BytesOut() const { return chip_.BytesOut(); }
  std::size_t MostOutstanding() const { return chip_.MostOutstanding(); }
  std::uint64_t BytesDropped() const { return chip_.BytesDropped(); }
  std::uint64_t ClockPulses() const { return chip_.ClockPulses(); }
  BitMode Mode() const { return chip_.Mode(); }
  std::uint8_t Outputs() const { return chip_.Outputs(); }
  int Rate() const { return chip_.Rate(); }
  int LatencyTimerMs() const { return chip_.LatencyTimerMs(); }

  std::uint64_t Writes() const { return writes_; }  // USB writes: one a round trip or stream
  bool Open() const { return open_; }
  bool Unplugged() const { return chip_.Unplugged(); }
  // Pulls it out now, between two calls.
  void Unplug() { chip_.Unplug(); }
  // Plugs it in again (pulling it out first if it is still in), as if fresh: back on the bus, no
  // handle open, serial mode, and any planned unplug forgotten. A handle from before stays dead,
  // as a real one does.
  void PlugBackIn();
  // Counts the times it was plugged in: a handle works only while it matches.
  int Plugging() const { return plugging_; }
  // Where it sits on the bus.
  std::uint8_t Address() const { return address_; }
  void SetAddress(std::uint8_t address) { address_ = address; }

  // libftdi's calls as the program makes them, for the handle the fake bus opens.
  ChipResult Claim();  // ftdi_usb_open_bus_addr: the claim, the chip's reset, 9600 baud
  void Release() { open_ = false; }
  ChipResult SetBitMode(std::uint8_t outputs, BitMode mode);
  ChipResult SetRate(int rate);
  ChipResult SetLatencyTimer(int ms);
  ChipResult GetLatencyTimer(int& ms);
  ChipResult DiscardReadBuffer();
  ChipResult Write(std::span<const std::uint8_t> bytes);
  ChipResult Read(std::span<std::uint8_t> bytes);
  ChipResult Stream(std::span<const std::uint8_t> out, std::span<std::uint8_t> back, int limitMs,
                    int idleMs);
  ChipResult SetReadChunkSize(int bytes);
  int PacketPayload() const { return chip_.PacketPayload(); }
  std::int64_t FrameNs() const;

 private:
  // One control transfer: `ok` false for a stall or a chip that has gone.
  struct Controlled {
    bool ok = false;
    std::vector<std::uint8_t> data;
  };
  Controlled ControlTransfer(const SetupPacket& setup);
  // A setting libftdi sends with wIndex 1 (its INTERFACE_A); a failure in libftdi's words.
  ChipResult Setting(std::uint8_t request, std::uint16_t value, std::uint16_t index, int failCode,
                     const char* failText);
  // A bulk OUT transfer of all of `bytes`, from `t` on; the time it ends, or a failure.
  ChipResult BulkOut(std::span<const std::uint8_t> bytes, std::int64_t& t);
  // A bulk IN transfer of up to `length` bytes, status bytes included, from `t` on.
  ChipResult BulkIn(std::size_t length, std::vector<std::uint8_t>& raw, std::int64_t& t);
  std::int64_t SlotNs() const;
  std::int64_t HostDelayNs() const { return setup_.roundTripNs / 2; }
  void WaitUntil(std::int64_t ns);

  SimulatedAdapterSetup setup_;
  Counter& counter_;
  SimulatedChip chip_;
  bool open_ = false;
  int plugging_ = 1;
  std::uint8_t address_ = 0;
  bool bitBang_ = false;  // libftdi's bitbang_enabled: its rate is then the baud rate / 4
  int readChunk_ = 4096;  // libftdi's readbuffer_chunksize, by default
  std::vector<std::uint8_t> readBuffer_;  // what libftdi holds from a read and has not handed on
  int writesSinceOpen_ = 0;
  std::uint64_t writes_ = 0;
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
