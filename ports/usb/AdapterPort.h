// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "link/Delay.h"
#include "link/PortIo.h"
#include "ports/usb/ChipModels.h"
#include "ports/usb/FtdiChip.h"
#include "ports/usb/PinMap.h"
#include "ports/usb/RateMeasurement.h"

// The USB link adapter as the port the link talks to: every write sets the data register's lines
// on the chip's pins, every read gives the status register from them, and a script of line
// activity becomes one byte per update of the pins, in round trips or one stream.
namespace fennow {

// What goes to the chip for one round trip or more: a byte per update of the pins, and which
// read-back bytes are the script's samples. In synchronous mode the chip reads its pins just
// before it puts out each byte, so read-back byte i shows the pins as byte i - 1 left them: the
// sample of a step is the read-back byte at the index of whatever is put out next.
struct PinBatch {
  std::vector<std::uint8_t> out;
  std::vector<std::size_t> sampleAt;
};

// Opened by OpenUsbAdapter, which starts it. Every access goes to the chip, whatever its address:
// the adapter has none of its own.
class UsbAdapterPort final : public PortIo {
 public:
  UsbAdapterPort(std::unique_ptr<FtdiChip> chip, const UsbChipModel& model, std::string name,
                 Counter& counter)
      : chip_(std::move(chip)),
        model_(model),
        name_(std::move(name)),
        delay_(counter),
        packet_(PacketSize(model, chip_->PacketPayload())),
        chunk_(static_cast<std::size_t>(model.maxOutstanding) / packet_ * packet_) {}
  // Gives the chip back as it was found: its latency timer, which the kernel's serial driver
  // would otherwise read back and keep, then serial mode.
  ~UsbAdapterPort() override;
  UsbAdapterPort(const UsbAdapterPort&) = delete;
  UsbAdapterPort& operator=(const UsbAdapterPort&) = delete;

  // The latency timer as found, then its own, bit-bang mode, the rate measured, then the outputs
  // low in one round trip, which also shows that the chip answers.
  ChipResult Start();
  std::string Report() const;

  void Write(std::uint16_t address, std::uint8_t value) override;
  std::uint8_t Read(std::uint16_t address) override;
  bool RunScript(const LineScript& script, const LinkPort& port, LineSamples& samples) override;
  bool QueuesAhead() const override { return true; }
  std::string LostReason() const override { return lost_; }

 private:
  // Round trips are made of whole packets, as many as fit in the bytes the chip may have
  // outstanding, so that each reply leaves the chip as soon as it is complete.
  static std::size_t PacketSize(const UsbChipModel& model, int payload) {
    return payload > 0 && payload <= model.maxOutstanding ? static_cast<std::size_t>(payload) : 1;
  }

  // Puts the batch on the pins and appends the status of each of its samples. After it returns
  // every byte of the batch has been put out: its reply has come back. Round trips of at most
  // what the chip may have outstanding, or one stream.
  void Flush(PinBatch& batch, LineSamples& samples, bool streamed = false);
  // Streams `out` and reads all of it back (FtdiChip::Stream), within a time worked out from the
  // measured rate; a failure, or a reply that does not all come, loses the port.
  void StreamOut(std::span<const std::uint8_t> out, std::span<std::uint8_t> back,
                 std::int64_t perSecond);
  // Sets the chip's rate argument, unless it is set already; false once the port is lost.
  bool UseRate(int rate);
  // Updates a second that every hold at `rate` is worked out for: the rate measured, with the
  // margin.
  std::int64_t PlannedRate(int rate) const {
    return static_cast<std::int64_t>(std::ceil(pinRate_.taken * kMeasureMargin * rate));
  }
  // Writes `out` and reads as many bytes back within `limitMs`; a failure loses the port.
  void RoundTrip(std::span<const std::uint8_t> out, std::span<std::uint8_t> back,
                 std::int64_t limitMs = kRoundTripLimitMs);
  // A round trip of `n` updates of the pins as they stand, in nanoseconds; -1 when it failed.
  std::int64_t TimedBurst(std::size_t n, std::int64_t limitMs);
  void Lose(const ChipResult& failure);

  std::unique_ptr<FtdiChip> chip_;
  const UsbChipModel& model_;
  std::string name_;
  Delay delay_;
  std::size_t packet_;
  std::size_t chunk_;
  std::uint8_t data_ = 0;         // the data register, as the pins hold it
  PinRate pinRate_;               // updates a second per unit of the rate argument
  int foundLatencyMs_ = 0;        // the latency timer as the chip was found; 0 until read
  int rate_ = 0;                  // the rate argument the chip has now
  int streamRate_ = 0;            // the rate argument payloads stream at
  std::int64_t roundTripNs_ = 0;  // of a single update, at open
  int readChunk_ = 0;             // what a USB read asks for, as last set
  ChipResult lostCause_;
  std::string lost_;
};

}  // namespace fennow
