// SPDX-License-Identifier: GPL-3.0-or-later
// StartTransfer and TestLink against a far end the input drives: the status bits come straight
// from the input, or from the simulated Game Boy with the input's settings, glitches on the
// wire and knobs turned mid-transfer. Keys, the port, the counter's rate and step and a stop of
// the process (the counter jumps ahead) come from the input too. Whatever the far end does, the
// checks below must hold.
//
// Input, byte by byte (Run, then SetUpGameBoy): what to run and against what far end, the port,
// the counter's step and rate, a stop of the process, a key, the capture held before; for the
// simulated Game Boy its mode byte, wrong replies, start phase, lead, loop wiring, glitches and
// knob turns, then what it sends; for the raw far end, the status bytes it answers with, read
// after read, over and over.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "capture/CaptureStore.h"
#include "capture/LeadTest.h"
#include "capture/Transfer.h"
#include "fuzz/Check.h"
#include "fuzz/Script.h"
#include "link/LinkLines.h"
#include "link/LinkSession.h"
#include "link/Protocol.h"
#include "ports/PortAssignment.h"
#include "ports/PortSelection.h"
#include "sim/SimulatedGameBoy.h"
#include "sim/VirtualCounter.h"
#include "tests/support/FakeServices.h"

namespace fennow::fuzz {
namespace {

using test::FakeServices;

// ---- Logs ------------------------------------------------------------------------------------

// Bits in the order they came, 64 to a word: a transfer logs some 25,000 of them twice.
class BitLog {
 public:
  void Push(bool bit) {
    if (size_ % 64 == 0) words_.push_back(0);
    if (bit) words_.back() |= std::uint64_t{1} << (size_ % 64);
    ++size_;
  }
  bool operator[](std::size_t i) const { return ((words_[i / 64] >> (i % 64)) & 1u) != 0; }
  std::size_t size() const { return size_; }

 private:
  std::vector<std::uint64_t> words_;
  std::size_t size_ = 0;
};

// ---- Far ends -------------------------------------------------------------------------------

// Status reads answered by the input's bytes, one a read, over and over; writes go nowhere.
class RawFarEnd final : public PortIo {
 public:
  explicit RawFarEnd(std::span<const std::uint8_t> status) : status_(status) {}
  void Write(std::uint16_t, std::uint8_t) override {}
  std::uint8_t Read(std::uint16_t) override {
    if (status_.empty()) return 0;
    return status_[reads_++ % status_.size()];
  }

 private:
  std::span<const std::uint8_t> status_;
  std::size_t reads_ = 0;
};

// The simulated Game Boy, with chosen status reads flipped on their way back (noise on the lead)
// and its knobs turned at chosen port accesses.
class GlitchingGameBoy final : public PortIo {
 public:
  struct Glitch {
    std::size_t read;
    std::uint8_t flip;
  };
  struct Knob {
    std::size_t access;
    std::uint8_t action;
    std::uint8_t value;
  };

  explicit GlitchingGameBoy(SimulatedGameBoy& gameBoy) : gameBoy_(gameBoy) {}

  void Write(std::uint16_t address, std::uint8_t value) override {
    TurnKnobs();
    gameBoy_.Write(address, value);
  }
  std::uint8_t Read(std::uint16_t address) override {
    TurnKnobs();
    std::uint8_t value = gameBoy_.Read(address);
    for (; nextGlitch_ < glitches.size() && glitches[nextGlitch_].read <= reads_; ++nextGlitch_) {
      const Glitch& glitch = glitches[nextGlitch_];
      if (glitch.read == reads_ && glitch.flip != 0) {
        value ^= glitch.flip;
        disturbed = true;
      }
    }
    ++reads_;
    return value;
  }

  // Orders the glitches by read and the knobs by access, as the cursors take them.
  void Sort() {
    std::stable_sort(glitches.begin(), glitches.end(),
                     [](const Glitch& a, const Glitch& b) { return a.read < b.read; });
    std::stable_sort(knobs.begin(), knobs.end(),
                     [](const Knob& a, const Knob& b) { return a.access < b.access; });
  }

  std::vector<Glitch> glitches;
  std::vector<Knob> knobs;
  bool disturbed = false;  // a glitch or a knob took effect

 private:
  void TurnKnobs() {
    for (; nextKnob_ < knobs.size() && knobs[nextKnob_].access <= accesses_; ++nextKnob_) {
      if (knobs[nextKnob_].access == accesses_) Turn(knobs[nextKnob_]);
    }
    ++accesses_;
  }
  void Turn(const Knob& knob) {
    disturbed = true;
    switch (knob.action % 8) {
      case 0:
        gameBoy_.SetWrongReplies(knob.value % 4, knob.value);
        break;
      case 1:
        gameBoy_.SetModeByte(knob.value);
        break;
      case 2:
        gameBoy_.SetConnection(static_cast<Connection>(knob.value % 3));
        break;
      case 3:
        gameBoy_.SetLoopWiring(static_cast<LoopWiring>(knob.value % 4));
        break;
      case 4:
        gameBoy_.Reset();
        break;
      case 5:
        gameBoy_.SetStartPhase(knob.value % 16);
        break;
      case 6:
        block_.fill(knob.value);
        gameBoy_.LoadData(block_);
        break;
      default:
        rows_.fill(knob.value);
        gameBoy_.LoadScreen(rows_);
        break;
    }
  }

  SimulatedGameBoy& gameBoy_;
  std::size_t reads_ = 0;
  std::size_t accesses_ = 0;
  std::size_t nextGlitch_ = 0;
  std::size_t nextKnob_ = 0;
  // What a knob loads, kept here: on the stack of the per-access path, AddressSanitizer would
  // guard 4 KiB at every access.
  std::array<std::uint8_t, kDataBytes> block_{};
  std::array<std::uint8_t, kScreenBytes> rows_{};
};

// ---- The port as the program uses it ---------------------------------------------------------

// What the program did on the wire, kept by WatchedPort.
struct WireLog {
  struct LoopReading {
    bool drive;  // LoopDrive as the latch had it
    bool sense;  // status bit 7 as read
  };

  std::size_t accesses = 0;
  std::uint8_t lastWrite = 0;
  BitLog samples;  // one a clock
  BitLog sent;     // one a clock
  std::vector<LoopReading> loop;
};

// Sits between the program and the far end: checks every access, counts them, and keeps what the
// program read, so that the outcome can be checked against an independent reading of the wire.
// The far end's type is known, so that its calls, 34 a byte, go to it directly.
template <typename FarEnd>
class WatchedPort final : public PortIo {
 public:
  // The loop's readings are logged for the lead test only, which is all that reads them.
  WatchedPort(FarEnd& farEnd, bool logLoop) : farEnd_(farEnd), logLoop_(logLoop) {}
  // The port whose latch and addresses every access is checked against.
  void Watch(const LinkPort& port) { port_ = &port; }

  void Write(std::uint16_t address, std::uint8_t value) override {
    ++log.accesses;
    // Every write goes to the data register, is the latch itself, and keeps bits 3..7 clear.
    FUZZ_CHECK(address == port_->DataPort);
    FUZZ_CHECK(value == (port_->OutputLatch & 0xFFu));
    FUZZ_CHECK((port_->OutputLatch & ~0x07u) == 0);
    // The bit the program sends is whatever LinkDataOut holds as the clock rises.
    if ((log.lastWrite & LinkClock) == 0 && (value & LinkClock) != 0) {
      log.sent.Push((value & LinkDataOut) != 0);
    }
    log.lastWrite = value;
    farEnd_.Write(address, value);
  }
  std::uint8_t Read(std::uint16_t address) override {
    ++log.accesses;
    FUZZ_CHECK(address == port_->StatusPort);
    const std::uint8_t value = farEnd_.Read(address);
    // The Game Boy's bit is whatever LinkDataIn read while the clock was high.
    if ((log.lastWrite & LinkClock) != 0) log.samples.Push((value & LinkDataIn) != 0);
    if (logLoop_) {
      log.loop.push_back({(port_->OutputLatch & LoopDrive) != 0, (value & LoopSense) != 0});
    }
    return value;
  }

  WireLog log;

 private:
  FarEnd& farEnd_;
  bool logLoop_;
  const LinkPort* port_ = nullptr;
};

// ---- Budgets ---------------------------------------------------------------------------------

// The most an operation can ask of the clock and the port: its waits added up (microseconds),
// how many waits that is, and how many port accesses.
struct Budget {
  std::int64_t micros;
  std::int64_t delays;
  std::int64_t accesses;
};

constexpr std::int64_t kExchangeMicros = 2 * kBitsPerByte * kHalfBitUs;
constexpr std::int64_t kExchangeDelays = 2 * kBitsPerByte;
constexpr std::int64_t kExchangeAccesses = 2 + 4 * kBitsPerByte;  // 26 writes, 8 reads
constexpr std::int64_t kSyncMicros = kSyncClockLimit * (2 * kHalfBitUs + kSyncSpacingMs * 1000);

// Six synchronisations that run out, each with its request, then the mode byte with its pauses
// and a whole screen, each byte with its spacing.
constexpr std::int64_t kTransferMicros = kMaxRequestAttempts * (kSyncMicros + kExchangeMicros) +
                                         (kBeforeModeMs + kAfterModeMs) * 1000 + kExchangeMicros +
                                         kScreenBytes * (kExchangeMicros + kByteSpacingMs * 1000);
constexpr std::int64_t kTransferDelays =
    kMaxRequestAttempts * (3 * kSyncClockLimit + kExchangeDelays) + 2 + kExchangeDelays +
    kScreenBytes * (kExchangeDelays + 1);
constexpr std::int64_t kTransferAccesses =
    kMaxRequestAttempts * (1 + 3 * kSyncClockLimit + kExchangeAccesses) + kExchangeAccesses +
    kScreenBytes * kExchangeAccesses;
constexpr Budget kTransferBudget{kTransferMicros, kTransferDelays, kTransferAccesses};

// Four settling waits; five writes and four reads.
constexpr Budget kLeadTestBudget{(kLeadFirstSettleMs + 3 * kLeadSettleMs) * 1000, 4, 9};

constexpr std::array<std::int64_t, 8> kFrequencies{
    1'000'000'000, 1'000'000'000, 1'000'000'000, 3'579'545, 1'193'182, 1'000'000, 10'000'000, 0};

// A wait of n microseconds moves the counter on by at most n x f / 1e6 ticks, one more for the
// rounding up, and a step either side (its first reading, and the overshoot of its last).
void CheckClock(const Budget& budget, VirtualCounter& counter, std::int64_t step,
                std::int64_t jump) {
  const std::int64_t waited = budget.micros * counter.Frequency() / 1'000'000;
  FUZZ_CHECK(counter.Now() - jump <= waited + budget.delays * (1 + 2 * step));
  FUZZ_CHECK(counter.Readings() <= (waited + budget.delays) / step + 2 * budget.delays);
}

// ---- The run ---------------------------------------------------------------------------------

struct Run {
  explicit Run(Script& script) {
    const std::uint8_t setup = script.Byte();
    leadTest = (setup & 1) != 0;
    raw = (setup & 2) != 0;
    elsewhere = (setup & 4) != 0;
    choice = static_cast<PortChoice>(script.Byte() % 3);
    const std::uint8_t stepCode = script.Byte();
    // Ticks a reading: 1000 to 1750 at the finest (about a microsecond at 1 GHz), 2048 times that
    // at the coarsest. Coarse steps keep a run of seconds of protocol time quick; fine ones time
    // the half-bits closely, but a run at the finest reads the clock a million times a second of
    // protocol time. So the three finest come only with bit 6 set, and otherwise give way to the
    // next three: every step is still tried, the three finest half as often.
    int shift = 11 - (stepCode & 15) % 12;
    if (shift < 3 && (stepCode & 0x40) == 0) shift += 3;
    step = std::int64_t{1000 + 250 * ((stepCode >> 4) & 3)} << shift;
    frequency = kFrequencies[script.Byte() % kFrequencies.size()];
    jumpAt = script.Word();
    jump = jumpAt == 0 ? 0 : std::int64_t{1} << (script.Byte() % 63);
    keyAt = script.Word();
    priorKind = static_cast<CaptureKind>(script.Byte() % 3);
    const std::uint8_t seed = script.Byte();
    for (std::size_t slot = 0; slot < prior.size(); ++slot) {
      prior[slot] = 0x100 + static_cast<std::int32_t>((slot * 7 + seed) % 0x700);  // no byte value
    }
  }

  bool leadTest, raw, elsewhere;
  PortChoice choice;
  std::int64_t step;
  std::int64_t frequency;
  std::int64_t jumpAt, jump;
  int keyAt;
  CaptureKind priorKind;
  std::array<std::int32_t, kScreenBytes> prior{};
};

struct GameBoySettings {
  std::uint8_t mode;
  int wrongReplies;
  std::uint8_t wrongReply;
  Connection connection;
  std::array<std::uint8_t, kScreenBytes> rows{};
  std::array<std::uint8_t, kDataBytes> block{};

  // The Game Boy as it is set up, with nothing disturbing it, must be able to deliver. A wrong
  // reply of 0x53 is the exception: the program can take it for the sync byte and stay a byte
  // out of step for good, as nothing on the lead tells the two apart. (No other byte makes 0x53
  // show out of its place in 0x53, reply, 0x53, the stream while wrong replies last.)
  bool Healthy() const {
    return (mode == kModeScreen || mode == kModeData) && connection == Connection::GameBoy &&
           (wrongReplies == 0 || (wrongReplies < kMaxRequestAttempts - 1 &&
                                  wrongReply != kReadyReply && wrongReply != kSyncByte));
  }
};

GameBoySettings SetUpGameBoy(Script& script, SimulatedGameBoy& gameBoy, GlitchingGameBoy& wire) {
  GameBoySettings s{};
  // Mostly data blocks, a screen one time in eight: a block checks the same loop in 1205 bytes
  // that a screen takes 2880 for.
  const std::uint8_t mode = script.Byte();
  s.mode = mode >= 0xC0 ? mode : (mode & 7) == kModeScreen ? kModeScreen : kModeData;
  s.wrongReplies = script.Byte() % 8;
  s.wrongReply = script.Byte();
  const int startPhase = script.Byte() % 16;
  const std::uint8_t connection = script.Byte();
  s.connection = connection < 0xC0 ? Connection::GameBoy : static_cast<Connection>(connection % 3);
  const auto wiring = static_cast<LoopWiring>(script.Byte() % 4);
  for (int n = script.Byte() % 9; n > 0; --n) {
    const std::size_t read = script.Word();
    wire.glitches.push_back({read, script.Byte()});
  }
  for (int n = script.Byte() % 5; n > 0; --n) {
    const std::size_t access = std::size_t{script.Word()} * 2;
    const std::uint8_t action = script.Byte();
    wire.knobs.push_back({access, action, script.Byte()});
  }
  wire.Sort();
  const std::span<const std::uint8_t> payload = script.Rest();
  for (std::size_t i = 0; i < s.rows.size() && !payload.empty(); ++i) {
    s.rows[i] = payload[i % payload.size()];
  }
  for (std::size_t i = 0; i < s.block.size() && !payload.empty(); ++i) {
    s.block[i] = payload[(i * 3) % payload.size()];
  }

  gameBoy.SetRecording(false);
  gameBoy.LoadScreen(s.rows);
  gameBoy.LoadData(s.block);
  gameBoy.SetModeByte(s.mode);
  gameBoy.SetWrongReplies(s.wrongReplies, s.wrongReply);
  gameBoy.SetConnection(s.connection);
  gameBoy.SetLoopWiring(wiring);
  gameBoy.SetStartPhase(startPhase);
  return s;
}

// `count` bits read from the wire from sample `first` on, the first the most significant.
std::uint8_t SampledBits(const BitLog& samples, std::size_t first, std::size_t count = 8) {
  std::uint8_t byte = 0;
  for (std::size_t bit = 0; bit < count; ++bit) {
    byte = static_cast<std::uint8_t>((byte << 1) | (samples[first + bit] ? 1 : 0));
  }
  return byte;
}

// Where byte k of a screen goes: the screen comes tile by tile (18 rows of 20 tiles, each tile as
// its 8 pixel rows from the top), and the store keeps pixel rows bottom-up, 20 bytes a row.
std::size_t ScreenSlotOfByte(std::size_t k) {
  const std::size_t line = k % 8;
  const std::size_t column = (k / 8) % 20;
  const std::size_t tileRow = k / 160;
  return (143 - (8 * tileRow + line)) * 20 + column;
}

const char* SuccessText(CaptureKind kind) {
  return kind == CaptureKind::Screen ? "Screen Transfer Successful" : "Data Transfer Successful";
}

const char* FailureText(TransferStatus status) {
  switch (status) {
    case TransferStatus::SyncTimeout:
      return "Serial Sync Timeout";
    case TransferStatus::KeyExit:
      return "Key Exit";
    default:
      return "Serial Acknowledge Error";
  }
}

void CheckTransfer(const Run& run, TransferStatus status, const CaptureStore& store,
                   const FakeServices& ui, const WireLog& port) {
  // Exactly one outcome message, and it agrees with the status, the kind and the lamps.
  FUZZ_CHECK(ui.messages.size() == 1);
  const test::Message& message = ui.messages[0];
  FUZZ_CHECK(message.title ==
             (status == TransferStatus::PortLost ? "Interface Port" : "Transfer Status"));
  bool touched = false;
  for (std::size_t slot = 0; slot < kScreenBytes; ++slot) {
    touched = touched || store.CaptureBuffer[slot] != run.prior[slot];
  }
  FUZZ_CHECK(!ui.Lit(Lamp::SyncLamp));
  FUZZ_CHECK(ui.Lit(Lamp::ErrorLamp) == (status != TransferStatus::Success));
  FUZZ_CHECK(!(ui.Lit(Lamp::ScreenLamp) && ui.Lit(Lamp::DataLamp)));
  FUZZ_CHECK(!ui.progress.empty() && ui.progress.front() == 0 && ui.progress.back() == 0);
  // At most six requests go out; only the first five can lead on. (0x47 shows in what the
  // program sends only where it sends it: synchronising sends ones, the payload zeros.)
  const BitLog& sent = port.sent;
  FUZZ_CHECK(sent.size() == port.samples.size());
  int requests = 0;
  std::uint8_t window = 0;  // the last eight bits sent
  for (std::size_t at = 0; at < sent.size(); ++at) {
    window = static_cast<std::uint8_t>((window << 1) | (sent[at] ? 1 : 0));
    requests += at >= 7 && window == kRequestByte ? 1 : 0;
  }
  FUZZ_CHECK(requests <= kMaxRequestAttempts);

  if (status != TransferStatus::Success) {
    FUZZ_CHECK(message.text == FailureText(status));
    FUZZ_CHECK(message.style == MessageStyle::MB_ICONSTOP);
    // A capture nothing overwrote is kept; one partly overwritten is given up.
    FUZZ_CHECK(store.Kind == (touched ? CaptureKind::None : run.priorKind));
    // Only a key can stop a transfer once its payload has begun.
    FUZZ_CHECK(!touched || status == TransferStatus::KeyExit);
    const bool payloadLamp = ui.Lit(Lamp::ScreenLamp) || ui.Lit(Lamp::DataLamp);
    FUZZ_CHECK(payloadLamp == touched);
    return;
  }

  FUZZ_CHECK(store.Kind == CaptureKind::Screen || store.Kind == CaptureKind::Data);
  FUZZ_CHECK(message.text == SuccessText(store.Kind));
  FUZZ_CHECK(message.style == MessageStyle::MB_OK);
  FUZZ_CHECK(ui.Lit(Lamp::ScreenLamp) == (store.Kind == CaptureKind::Screen));
  FUZZ_CHECK(ui.Lit(Lamp::DataLamp) == (store.Kind == CaptureKind::Data));

  // The wire, read independently: the last bytes clocked in are the payload, and before it
  // come the mode byte, the 'W' that answered the request and the 0x53 that synchronised. The
  // synchronisation starts from an empty register, and 0x53 begins with a 0 bit: its last seven
  // bits may be all it took.
  const std::size_t bytes = store.Kind == CaptureKind::Screen ? kScreenBytes : kDataBytes;
  const BitLog& samples = port.samples;
  FUZZ_CHECK(samples.size() >= 8 * (bytes + 2) + 7);
  const std::size_t payloadAt = samples.size() - 8 * bytes;
  FUZZ_CHECK(SampledBits(samples, payloadAt - 8) == static_cast<std::uint8_t>(store.Kind));
  FUZZ_CHECK(SampledBits(samples, payloadAt - 16) == kReadyReply);
  // The 'W' came in the very exchange that carried the request; then the program sent zeros.
  FUZZ_CHECK(requests <= kMaxRequestAttempts - 1);
  FUZZ_CHECK(SampledBits(sent, payloadAt - 16) == kRequestByte);
  for (std::size_t at = payloadAt - 8; at < sent.size(); ++at) FUZZ_CHECK(!sent[at]);
  FUZZ_CHECK(SampledBits(samples, payloadAt - 23, 7) == (kSyncByte & 0x7F));
  for (std::size_t k = 0; k < bytes; ++k) {
    const std::uint8_t received = SampledBits(samples, payloadAt + 8 * k);
    if (store.Kind == CaptureKind::Screen) {
      FUZZ_CHECK(store.CaptureBuffer[ScreenSlotOfByte(k)] == (received ^ 0xFF));
    } else {
      FUZZ_CHECK(store.CaptureBuffer[k] == received);
    }
  }
  // A data block leaves the slots past its 1205 as they were.
  if (store.Kind == CaptureKind::Data) {
    for (std::size_t slot = kDataBytes; slot < kScreenBytes; ++slot) {
      FUZZ_CHECK(store.CaptureBuffer[slot] == run.prior[slot]);
    }
  }
}

// What the Game Boy holds is what arrives, when nothing disturbed it.
void CheckDelivered(const GameBoySettings& settings, TransferStatus status,
                    const CaptureStore& store) {
  FUZZ_CHECK(status == TransferStatus::Success);
  FUZZ_CHECK(store.Kind == static_cast<CaptureKind>(settings.mode));
  if (store.Kind == CaptureKind::Screen) {
    for (std::size_t y = 0; y < 144; ++y) {
      for (std::size_t c = 0; c < 20; ++c) {
        FUZZ_CHECK(store.CaptureBuffer[(143 - y) * 20 + c] == (settings.rows[y * 20 + c] ^ 0xFF));
      }
    }
  } else {
    for (std::size_t j = 0; j < kDataBytes; ++j) {
      FUZZ_CHECK(store.CaptureBuffer[j] == settings.block[j]);
    }
  }
}

void CheckLeadTest(const Run& run, bool passed, const FakeServices& ui, const WireLog& port,
                   const LinkPort& lines) {
  // An independent reading of the four samples: a sound loop reads the drive inverted.
  FUZZ_CHECK(port.loop.size() == 4);
  bool sound = true;
  for (const WireLog::LoopReading& reading : port.loop) {
    sound = sound && reading.sense == !reading.drive;
  }
  FUZZ_CHECK(passed == sound);

  std::size_t at = 0;
  if (run.frequency <= 0) {
    FUZZ_CHECK(ui.messages.size() > at && ui.messages[at++].title == "Timer test");
  }
  FUZZ_CHECK(ui.messages.size() == at + 3);
  FUZZ_CHECK(ui.messages[at].text ==
             "Plug Gameboy Link Lead into PC.\nDisconnect Lead From Gameboy");
  const test::Message& verdict = ui.messages[at + 1];
  FUZZ_CHECK(verdict.text == (sound ? "Loop Back Detected OK" : "No Loop Back Detected"));
  FUZZ_CHECK(verdict.title == (sound ? "Test Link" : "Test Link Status"));
  FUZZ_CHECK(ui.messages[at + 2].title == "Test Link Status");
  // Messages only: no lamp and no progress.
  for (const FakeServices::Event& event : ui.events) {
    FUZZ_CHECK(event.kind == FakeServices::Event::Message);
  }
  // All three output lines low at the end.
  FUZZ_CHECK((lines.OutputLatch & (LinkDataOut | LinkClock | LoopDrive)) == 0);
}

// Runs the operation against `farEnd` and checks it.
template <typename FarEnd>
void Operate(const Run& run, FarEnd& farEnd, VirtualCounter& counter, SimulatedGameBoy& gameBoy,
             const GameBoySettings& settings, const bool& disturbed) {
  WatchedPort<FarEnd> watched(farEnd, run.leadTest);
  const WireLog& wire = watched.log;
  LinkSession session(watched, counter);
  watched.Watch(session.port);
  FakeServices setUp;
  SelectPort(session.port, run.choice, LegacyPorts(), setUp);
  // The Game Boy on the chosen port, or on LPT3 whatever was chosen.
  const PortChoice gameBoyAt = run.elsewhere ? PortChoice::LPT3 : run.choice;
  gameBoy.SetPort(static_cast<std::uint16_t>(AddressesOf(gameBoyAt).dataPort),
                  static_cast<std::uint16_t>(AddressesOf(gameBoyAt).statusPort));

  FakeServices ui;
  if (run.keyAt > 0) ui.PressKeyAtPoll(run.keyAt);

  if (run.leadTest) {
    const bool passed = TestLink(session, ui);
    CheckLeadTest(run, passed, ui, wire, session.port);
    FUZZ_CHECK(static_cast<std::int64_t>(wire.accesses) <= kLeadTestBudget.accesses);
    CheckClock(kLeadTestBudget, counter, run.step, run.jump);
    return;
  }

  CaptureStore store;
  store.CaptureBuffer = run.prior;
  store.Kind = run.priorKind;
  const TransferStatus status = StartTransfer(session, ui, store);
  // No port is lost here: the far end is always there.
  FUZZ_CHECK(static_cast<int>(status) >= 0 && static_cast<int>(status) <= 3);
  CheckTransfer(run, status, store, ui, wire);
  FUZZ_CHECK(static_cast<std::int64_t>(wire.accesses) <= kTransferBudget.accesses);
  CheckClock(kTransferBudget, counter, run.step, run.jump);
  // The clock line is low at the end, in the latch and on the wire.
  FUZZ_CHECK((session.port.OutputLatch & LinkClock) == 0);
  FUZZ_CHECK((wire.lastWrite & LinkClock) == 0);
  if (!run.raw) {
    FUZZ_CHECK(gameBoy.WrongRepliesLeft() >= 0);
    if (settings.Healthy() && gameBoyAt == run.choice && run.keyAt == 0 && !disturbed) {
      CheckDelivered(settings, status, store);
    }
  }
}

void RunOnce(const std::uint8_t* data, std::size_t size) {
  Script script(data, size);
  const Run run(script);

  VirtualCounter counter(run.step);
  counter.SetFrequency(run.frequency);
  counter.JumpAtReading(run.jumpAt, run.jump);

  SimulatedGameBoy gameBoy([&counter] { return counter.Now(); });
  if (run.raw) {
    RawFarEnd rawEnd(script.Rest());
    const bool undisturbed = false;
    Operate(run, rawEnd, counter, gameBoy, GameBoySettings{}, undisturbed);
    return;
  }
  GlitchingGameBoy wire(gameBoy);
  const GameBoySettings settings = SetUpGameBoy(script, gameBoy, wire);
  // Whether a glitch or a knob took effect is known only once the run is over.
  Operate(run, wire, counter, gameBoy, settings, wire.disturbed);
}

}  // namespace
}  // namespace fennow::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fennow::fuzz::RunOnce(data, size);
  return 0;
}
