// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "link/PortIo.h"
#include "link/Protocol.h"

namespace fennow {

// Lines as the simulator sees them on the lead: LinkClock, LinkDataOut and LoopDrive from the
// PC, and DataIn, the Game Boy's own serial output as it presents it on LinkDataIn.
enum class SimLine : std::uint8_t { Clock, DataOut, Loop, DataIn };

struct LineEdge {
  std::int64_t timeNs;
  SimLine line;
  bool level;  // the level the line changed to
};

// Which byte of its protocol the Game Boy is presenting.
enum class SimState : std::uint8_t {
  Waiting,  // 0x53, byte after byte
  Reply,    // the slot right after each 0x53: 'W', or a wrong reply while those last
  Mode,     // 1 screen, 2 data, or whatever SetModeByte chose
  Payload,  // screen tiles or data block
};

struct ByteRecord {
  std::int64_t startNs;   // first rising edge of the byte
  std::int64_t endNs;     // last falling edge, when the Game Boy takes up its next byte
  SimState slot;          // what the byte was
  std::uint8_t sent;      // presented by the Game Boy
  std::uint8_t received;  // clocked in from the PC
};

// What drives LinkDataIn (status bit 6), i.e. whether the lead reaches a running Game Boy.
enum class Connection : std::uint8_t {
  GameBoy,     // the lead is in the Game Boy, which answers the clock
  StuckSet,    // no Game Boy: the input floats high
  StuckClear,  // no Game Boy: the input is held low
};

// How LoopSense (status bit 7) follows LoopDrive (data bit 2) when the lead is out of the
// Game Boy. With the lead in the Game Boy the loop is open and bit 7 reads 0 whatever the drive.
enum class LoopWiring : std::uint8_t {
  Inverted,     // a sound lead: BUSY is inverted by the port itself, so bit 7 = not drive
  StuckSet,     // bit 7 always 1
  StuckClear,   // bit 7 always 0
  NotInverted,  // miswired so that bit 7 = drive
};

// A Game Boy running its sending software, on the far end of a link lead in one parallel port.
// It only reacts to writes of the data register: the PC is the clock master, so no time passes
// for the Game Boy between the PC's accesses. The time source only stamps the recorded edges.
// Not thread-safe: use it from the thread that drives the port.
class SimulatedGameBoy final : public PortIo {
 public:
  using TimeSource = std::function<std::int64_t()>;  // nanoseconds

  static constexpr std::uint16_t kDefaultDataPort = 0x378;
  static constexpr std::uint16_t kDefaultStatusPort = 0x379;
  static constexpr std::size_t kDefaultRecordLimit = std::size_t{1} << 20;

  explicit SimulatedGameBoy(TimeSource now, std::uint16_t dataPort = kDefaultDataPort,
                            std::uint16_t statusPort = kDefaultStatusPort);

  // PortIo. Other addresses have no hardware behind them: writes vanish, reads give 0xFF.
  void Write(std::uint16_t address, std::uint8_t value) override;
  std::uint8_t Read(std::uint16_t address) override;

  void SetPort(std::uint16_t dataPort, std::uint16_t statusPort);

  // 2880 bytes, row-major from the top row, 20 bytes per row, a 1 bit a dark pixel with bit 7
  // leftmost. Selects mode 1. False (and nothing changed) for any other size.
  bool LoadScreen(std::span<const std::uint8_t> rows);
  // 1205 bytes: 1202 samples and three scale codes. Selects mode 2. False for any other size.
  bool LoadData(std::span<const std::uint8_t> block);
  // The mode byte to present. 1 sends the loaded screen, 2 the loaded data block; any other
  // value is presented and then the Game Boy goes back to waiting without a payload.
  void SetModeByte(std::uint8_t mode) { mode_ = mode; }
  std::uint8_t ModeByte() const { return mode_; }

  void SetConnection(Connection connection) { connection_ = connection; }
  void SetLoopWiring(LoopWiring wiring) { loopWiring_ = wiring; }

  // The next `count` reply slots in which a 'G' arrives show `reply` instead of 'W'.
  void SetWrongReplies(int count, std::uint8_t reply = 0x00);
  int WrongRepliesLeft() const { return wrongRepliesLeft_; }

  // Back to waiting, with `bitsGone` bits already clocked by before the PC starts: 0..7 into
  // the 0x53, 8..15 into the reply slot after it. Values outside that range are clamped.
  void SetStartPhase(int bitsGone);
  // Back to waiting at the start of a 0x53: what the Game Boy does after an abandoned transfer
  // once its user restarts the sending software. Knobs, payloads and counters are kept.
  void Reset() { SetStartPhase(0); }

  // Edge and byte logs. Each log stops growing at the limit (further entries are counted as
  // dropped), so a long run on the real clock holds a bounded amount of memory.
  void SetRecording(bool on) { recording_ = on; }
  void SetRecordLimit(std::size_t entries) { recordLimit_ = entries; }
  void ClearRecords();
  const std::vector<LineEdge>& Edges() const { return edges_; }
  const std::vector<ByteRecord>& Bytes() const { return bytes_; }
  std::size_t DroppedRecords() const { return dropped_; }

  SimState State() const { return state_; }
  std::uint64_t ClockPulses() const { return clockPulses_; }      // rising edges seen
  std::uint64_t BytesReceived() const { return bytesReceived_; }  // complete bytes from the PC
  int RequestsSeen() const { return requestsSeen_; }              // 'G' in a reply slot
  int TransfersCompleted() const { return transfersCompleted_; }
  std::size_t PayloadPosition() const { return payloadPos_; }  // bytes of it already sent
  std::size_t PayloadSize() const;                             // 0 when the mode has none
  bool LinkDataInLevel() const;                                // what status bit 6 reads now

 private:
  void OnDataWrite(std::uint8_t value);
  void RisingEdge(bool pcBit, std::int64_t t);
  void FallingEdge(std::int64_t t);
  void CompleteByte(std::int64_t t);
  void Present(SimState state, std::uint8_t byte);
  void PresentBit(std::int64_t t);
  void RecordEdge(std::int64_t t, SimLine line, bool level);
  const std::vector<std::uint8_t>* Payload() const;

  TimeSource now_;
  std::uint16_t dataPort_;
  std::uint16_t statusPort_;
  std::uint8_t dataRegister_ = 0;

  Connection connection_ = Connection::GameBoy;
  LoopWiring loopWiring_ = LoopWiring::Inverted;

  std::vector<std::uint8_t> screen_;  // in the order it goes down the lead: tile by tile
  std::vector<std::uint8_t> data_;
  std::uint8_t mode_ = kModeScreen;
  int wrongRepliesLeft_ = 0;
  std::uint8_t wrongReply_ = 0x00;
  bool replyIsWrong_ = false;

  SimState state_ = SimState::Waiting;
  std::uint8_t outByte_ = kSyncByte;
  int bitsClocked_ = 0;
  std::uint8_t inShift_ = 0;
  bool outBit_ = false;
  std::int64_t byteStartNs_ = 0;
  std::size_t payloadPos_ = 0;

  bool recording_ = true;
  std::size_t recordLimit_ = kDefaultRecordLimit;
  std::size_t dropped_ = 0;
  std::vector<LineEdge> edges_;
  std::vector<ByteRecord> bytes_;

  std::uint64_t clockPulses_ = 0;
  std::uint64_t bytesReceived_ = 0;
  int requestsSeen_ = 0;
  int transfersCompleted_ = 0;
};

}  // namespace fennow
