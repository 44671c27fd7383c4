// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimulatedGameBoy.h"

#include <algorithm>
#include <utility>

namespace fennow {

namespace {

constexpr std::uint8_t kDataOutBit = 1u << 0;
constexpr std::uint8_t kClockBit = 1u << 1;
constexpr std::uint8_t kLoopDriveBit = 1u << 2;
constexpr std::uint8_t kDataInBit = 1u << 6;
constexpr std::uint8_t kLoopSenseBit = 1u << 7;
// ERROR, SELECT, PAPER OUT and the reserved bits are not wired in the lead and float high.
constexpr std::uint8_t kUnwiredStatusBits = 0x3F;

}  // namespace

SimulatedGameBoy::SimulatedGameBoy(TimeSource now, std::uint16_t dataPort, std::uint16_t statusPort)
    : now_(std::move(now)),
      dataPort_(dataPort),
      statusPort_(statusPort),
      screen_(kScreenBytes, 0),
      data_(kDataBytes, 0) {
  Reset();
}

void SimulatedGameBoy::SetPort(std::uint16_t dataPort, std::uint16_t statusPort) {
  dataPort_ = dataPort;
  statusPort_ = statusPort;
}

bool SimulatedGameBoy::LoadScreen(std::span<const std::uint8_t> rows) {
  if (rows.size() != kScreenBytes) return false;
  // The sending software walks the tile map: 18 rows of 20 tiles, each tile as its eight pixel
  // rows, top first. Keep it in that order so the link side just steps through it.
  std::size_t k = 0;
  for (int r = 0; r < kTileRows; ++r) {
    for (int c = 0; c < kTileColumns; ++c) {
      for (int l = 0; l < kTileSide; ++l) {
        screen_[k++] = rows[static_cast<std::size_t>((kTileSide * r + l) * kScreenRowBytes + c)];
      }
    }
  }
  mode_ = kModeScreen;
  return true;
}

bool SimulatedGameBoy::LoadData(std::span<const std::uint8_t> block) {
  if (block.size() != kDataBytes) return false;
  data_.assign(block.begin(), block.end());
  mode_ = kModeData;
  return true;
}

void SimulatedGameBoy::SetWrongReplies(int count, std::uint8_t reply) {
  wrongRepliesLeft_ = std::max(count, 0);
  wrongReply_ = reply;
  // The slot already on the wire keeps what it shows; the next one takes the new setting.
}

void SimulatedGameBoy::SetStartPhase(int bitsGone) {
  bitsGone = std::clamp(bitsGone, 0, 2 * kBitsPerByte - 1);
  if (bitsGone < kBitsPerByte) {
    Present(SimState::Waiting, kSyncByte);
  } else {
    replyIsWrong_ = wrongRepliesLeft_ > 0;
    Present(SimState::Reply, 0);
  }
  bitsClocked_ = bitsGone % kBitsPerByte;
  inShift_ = 0;
  payloadPos_ = 0;
  outBit_ = ((outByte_ >> (kBitsPerByte - 1 - bitsClocked_)) & 1u) != 0;
}

void SimulatedGameBoy::ClearRecords() {
  edges_.clear();
  bytes_.clear();
  dropped_ = 0;
}

std::size_t SimulatedGameBoy::PayloadSize() const {
  const std::vector<std::uint8_t>* payload = Payload();
  return payload ? payload->size() : 0;
}

bool SimulatedGameBoy::LinkDataInLevel() const {
  switch (connection_) {
    case Connection::GameBoy:
      return outBit_;
    case Connection::StuckSet:
      return true;
    case Connection::StuckClear:
      break;
  }
  return false;
}

void SimulatedGameBoy::Write(std::uint16_t address, std::uint8_t value) {
  if (address == dataPort_) OnDataWrite(value);
}

std::uint8_t SimulatedGameBoy::Read(std::uint16_t address) {
  // A standard port reads its data register back as last written.
  if (address == dataPort_) return dataRegister_;
  if (address != statusPort_) return 0xFF;

  std::uint8_t status = kUnwiredStatusBits;
  if (LinkDataInLevel()) status |= kDataInBit;
  const bool drive = (dataRegister_ & kLoopDriveBit) != 0;
  bool sense = false;
  if (connection_ != Connection::GameBoy) {
    switch (loopWiring_) {
      case LoopWiring::Inverted:
        sense = !drive;
        break;
      case LoopWiring::StuckSet:
        sense = true;
        break;
      case LoopWiring::StuckClear:
        break;
      case LoopWiring::NotInverted:
        sense = drive;
        break;
    }
  }
  if (sense) status |= kLoopSenseBit;
  return status;
}

void SimulatedGameBoy::OnDataWrite(std::uint8_t value) {
  const std::uint8_t changed = value ^ dataRegister_;
  dataRegister_ = value;
  if (changed == 0) return;
  const std::int64_t t = recording_ ? now_() : 0;
  if (changed & kDataOutBit) RecordEdge(t, SimLine::DataOut, (value & kDataOutBit) != 0);
  if (changed & kLoopDriveBit) RecordEdge(t, SimLine::Loop, (value & kLoopDriveBit) != 0);
  if (changed & kClockBit) {
    const bool high = (value & kClockBit) != 0;
    RecordEdge(t, SimLine::Clock, high);
    if (high) {
      ++clockPulses_;
      RisingEdge((value & kDataOutBit) != 0, t);
    } else {
      FallingEdge(t);
    }
  }
}

// The Game Boy's serial port in external-clock mode: it shifts the PC's bit in on the rising
// edge and its own next bit out on the falling edge, so each line is steady when the other side
// looks at it.
void SimulatedGameBoy::RisingEdge(bool pcBit, std::int64_t t) {
  if (connection_ != Connection::GameBoy) return;
  if (bitsClocked_ == 0) byteStartNs_ = t;
  inShift_ = static_cast<std::uint8_t>((inShift_ << 1) | (pcBit ? 1u : 0u));
  ++bitsClocked_;
}

void SimulatedGameBoy::FallingEdge(std::int64_t t) {
  if (connection_ != Connection::GameBoy) return;
  if (bitsClocked_ >= kBitsPerByte) CompleteByte(t);
  PresentBit(t);
}

void SimulatedGameBoy::CompleteByte(std::int64_t t) {
  const std::uint8_t received = inShift_;
  ++bytesReceived_;
  if (recording_) {
    if (bytes_.size() < recordLimit_) {
      bytes_.push_back({byteStartNs_, t, state_, outByte_, received});
    } else {
      ++dropped_;
    }
  }
  bitsClocked_ = 0;
  inShift_ = 0;

  switch (state_) {
    case SimState::Waiting:
      // The reply is loaded before the PC's byte is seen: the 'W' has to be on the wire in the
      // very exchange that carries the 'G'.
      replyIsWrong_ = wrongRepliesLeft_ > 0;
      Present(SimState::Reply, 0);
      return;
    case SimState::Reply:
      if (received != kRequestByte) {
        Present(SimState::Waiting, kSyncByte);
        return;
      }
      ++requestsSeen_;
      if (replyIsWrong_) {
        // The count may have been set to 0 since this reply was loaded.
        if (wrongRepliesLeft_ > 0) --wrongRepliesLeft_;
        Present(SimState::Waiting, kSyncByte);
        return;
      }
      Present(SimState::Mode, mode_);
      return;
    case SimState::Mode:
      payloadPos_ = 0;
      if (PayloadSize() == 0) {
        Present(SimState::Waiting, kSyncByte);
        return;
      }
      Present(SimState::Payload, (*Payload())[0]);
      return;
    case SimState::Payload:
      if (++payloadPos_ >= PayloadSize()) {
        ++transfersCompleted_;
        payloadPos_ = 0;
        Present(SimState::Waiting, kSyncByte);
        return;
      }
      Present(SimState::Payload, (*Payload())[payloadPos_]);
      return;
  }
}

void SimulatedGameBoy::Present(SimState state, std::uint8_t byte) {
  state_ = state;
  outByte_ = state == SimState::Reply ? (replyIsWrong_ ? wrongReply_ : kReadyReply) : byte;
}

void SimulatedGameBoy::PresentBit(std::int64_t t) {
  const bool bit = ((outByte_ >> (kBitsPerByte - 1 - bitsClocked_)) & 1u) != 0;
  if (bit == outBit_) return;
  outBit_ = bit;
  RecordEdge(t, SimLine::DataIn, bit);
}

void SimulatedGameBoy::RecordEdge(std::int64_t t, SimLine line, bool level) {
  if (!recording_) return;
  if (edges_.size() < recordLimit_) {
    edges_.push_back({t, line, level});
  } else {
    ++dropped_;
  }
}

const std::vector<std::uint8_t>* SimulatedGameBoy::Payload() const {
  if (mode_ == kModeScreen) return &screen_;
  if (mode_ == kModeData) return &data_;
  return nullptr;
}

}  // namespace fennow
