// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/PortIo.h"
#include "ports/usb/FtdiChip.h"

namespace fennow {

namespace fake_chip {
struct FakeChipModel;
}

// What can go wrong with a simulated adapter.
struct SimulatedAdapterFaults {
  // Pulled out once this many bytes have been put out at its pins (negative: never). The write
  // under way has gone; from then on reads find no device and writes fail.
  std::int64_t unplugAfterBytes = -1;
  // Pulled out as the clock line rises at its pins for this time, counted from when it was
  // plugged in (0: never): a point in the protocol, however many updates each phase takes.
  std::uint64_t unplugAtClockPulse = 0;
  // The same for the lead test's loop drive line.
  std::uint64_t unplugAtLoopDrive = 0;
  // This write, counting from 1 after the open, fails as a USB transfer and puts nothing out.
  int failWrite = 0;
  // Every packet to the host carries at most a few bytes, and every third none at all.
  bool shortReads = false;
  // Its readings never reach the host: every packet it sends holds its status bytes alone.
  bool mute = false;
  // Sends its readings one byte a packet, with this many packets of status bytes alone (a
  // latency-timer period each) before each: a chip that never quite stops answering.
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
  // Pin updates a second per unit of libftdi's rate argument (a quarter of the chip's baud rate
  // in bit-bang mode). 0: the most that has been reported for the chip, 64 for an FT232R and 80
  // for an FT232H (with libftdi's own factor of 4 in them).
  double updatesPerRate = 0;
  // The host's part of a round trip: a transfer moves on the bus half of it after it was started.
  std::int64_t roundTripNs = 1'000'000;
  SimulatedAdapterFaults faults;
};

// The lines at the pins, decoded from what the chip put out: the data register as the lead's far
// end sees it (LinkDataOut, LinkClock, LoopDrive), from `timeNs` on.
struct PinLevels {
  std::int64_t timeNs;
  std::uint8_t lines;
};

// A USB control request as it comes over the bus (USB 2.0, 9.3).
struct SetupPacket {
  std::uint8_t requestType = 0;
  std::uint8_t request = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
  std::uint16_t length = 0;

  bool ToHost() const { return (requestType & 0x80) != 0; }
};

// The chip's answer to a control request: data for the host, or a stall (a request it does not
// know, as every device answers those).
struct ControlReply {
  bool stalled = false;
  std::vector<std::uint8_t> data;
};

// An FTDI FT232R or FT232H on a board wired to a link lead, as the USB device it is: it answers
// control requests (its descriptors, and FTDI's vendor requests as libftdi 1.5 and the kernel's
// ftdi_sio send them), takes bulk OUT packets into its buffer from the host while that has room,
// and gives bulk IN packets, each headed by its two modem-status bytes. In synchronous bit-bang
// mode its pins take one byte from that buffer at each update of the bit-bang clock, reading the
// pins just before, and only while the buffer for those readings has room (AN_232R-01 on the
// bit-bang modes); it sends the readings a full packet at a time, and whatever it has when its
// latency timer runs out, nothing but the status bytes if need be (AN232B-04). Time is the
// caller's, in nanoseconds on one clock: the simulated host's, or the server's real one. The lines
// the far end sees are stamped with the chip's own pin time, which counts the updates.
class SimulatedChip {
 public:
  explicit SimulatedChip(SimulatedAdapterSetup& setup);

  // ---- The USB device ----
  ControlReply Control(const SetupPacket& setup, std::span<const std::uint8_t> data,
                       std::int64_t nowNs);
  // A bulk OUT packet, taken whole when the buffer from the host has room for it; false: NAK.
  bool TakeFromHost(std::span<const std::uint8_t> packet, std::int64_t nowNs);
  // The next bulk IN packet, status bytes first; none (NAK) while it has neither a full packet
  // nor an expired latency timer. A packet lost on the way (dropEveryPacket) reads as none.
  std::optional<std::vector<std::uint8_t>> SendToHost(std::int64_t nowNs);
  // The pins up to `nowNs`: every update that was due by then.
  void RunPins(std::int64_t nowNs);
  // The earliest time after `nowNs` at which SendToHost may have a packet where it had none, for
  // a host that waits rather than polls.
  std::int64_t NextPacketNs(std::int64_t nowNs) const;

  // ---- Power and the bus ----
  // Plugged in afresh: serial mode, its buffers empty, the latency timer at 16 ms; the far end
  // sees the serial port's idle lines.
  void PowerUp(std::int64_t nowNs);
  bool Unplugged() const { return unplugged_; }
  void Unplug() { unplugged_ = true; }

  // ---- What it is and how it stands ----
  const SimulatedAdapterSetup& Setup() const { return setup_; }
  int PacketSize() const;     // wMaxPacketSize of its bulk endpoints
  int PacketPayload() const;  // of it, data: the status bytes take two
  BitMode Mode() const { return rawMode_ == 0 ? BitMode::Reset : BitMode::SyncBitBang; }
  std::uint8_t Outputs() const { return outputs_; }
  // libftdi's rate argument the baud rate set stands for: a quarter of it, as bit-bang takes it.
  int Rate() const;
  int LatencyTimerMs() const { return latencyMs_; }
  std::int64_t UpdatesPerSecond() const;

  // The time at the pins of the update being put out (or the last one): the clock the far end
  // should stamp its edges with.
  std::int64_t PinTimeNs() const { return pinNowNs_; }
  const std::vector<PinLevels>& Lines() const { return lines_; }
  void SetRecording(bool on) { recording_ = on; }
  void ClearRecords() {
    lines_.clear();
    mostOutstanding_ = 0;
  }
  std::uint64_t BytesOut() const { return bytesOut_; }  // updates put out at the pins
  std::uint64_t BytesDropped() const { return dropped_; }
  std::uint64_t ClockPulses() const { return clockPulses_; }  // rising edges since plugged in
  std::uint64_t LoopDrives() const { return loopDrives_; }    // of the loop drive, the same
  // The most it held at once, from the host and for it, since the records were cleared.
  std::size_t MostOutstanding() const { return mostOutstanding_; }
  std::uint64_t Stalls() const { return stalls_; }  // times the pins waited for room

 private:
  const fake_chip::FakeChipModel& Model() const;  // what it knows of its kind of chip
  ControlReply Vendor(const SetupPacket& setup, std::int64_t nowNs);
  ControlReply Standard(const SetupPacket& setup);  // ChipDescriptors.cpp
  void SetBaudDivisor(std::uint16_t value, std::uint16_t index);
  void SetBitMode(std::uint8_t outputs, std::uint8_t mode, std::int64_t nowNs);
  void Purge(std::uint16_t which);
  struct Drive {
    std::uint8_t mask;    // the pins driven
    std::uint8_t levels;  // as driven
  };
  Drive Driven() const;
  // What the far end sees now, and a change of it told to the far end at `nowNs`.
  std::uint8_t LinesDriven() const;
  void ShowLines(std::int64_t nowNs);
  void PutOut(std::uint8_t byte);
  std::uint8_t ReadPins() const;
  bool PulledOutNow();
  std::vector<std::uint8_t> Packet(std::size_t take);

  SimulatedAdapterSetup& setup_;
  bool unplugged_ = false;
  std::uint8_t configuration_ = 0;
  std::uint8_t rawMode_ = 0;  // the bit mode as last set, also those not modelled
  std::uint8_t outputs_ = 0;  // direction in bit-bang mode: a 1 bit is an output pin
  std::uint8_t latch_ = 0;    // the bit-bang output register: the last byte put out
  bool dtr_ = false;          // serial mode's modem-control outputs, as last set
  bool rts_ = false;
  std::int64_t baud_ = 9'600;
  int latencyMs_ = 16;
  std::deque<std::uint8_t> fromHost_;
  std::deque<std::uint8_t> readings_;
  // The pins' clock: updates since they last waited, counted from the time they started again.
  std::int64_t runStartNs_ = 0;
  std::int64_t runUpdates_ = 0;
  bool waiting_ = true;
  std::int64_t lastPacketNs_ = 0;  // when the last packet left for the host
  std::uint64_t packetsSent_ = 0;
  std::uint64_t dataPackets_ = 0;  // packets that carried readings, lost ones included
  int emptyBeforeByte_ = 0;        // packets of status bytes alone still due before a trickled byte
  std::uint8_t farLines_ = 0;      // the lines as the far end last saw them
  std::int64_t pinNowNs_ = 0;
  std::uint64_t bytesOut_ = 0;
  std::uint64_t dropped_ = 0;
  std::uint64_t clockPulses_ = 0;
  std::uint64_t loopDrives_ = 0;
  std::uint64_t stalls_ = 0;
  std::size_t mostOutstanding_ = 0;
  bool recording_ = true;
  std::vector<PinLevels> lines_;
};

}  // namespace fennow
