// SPDX-License-Identifier: GPL-3.0-or-later
// Whole transfers and lead tests through the program's own ports (SystemPorts), with the simulated
// Game Boy behind each back end and the back end's underside hostile: for a parallel port, a
// /proc tree with entries not as the kernel writes them, the ppdev model (tests/support/
// FakePpdev.h) failing requests, holding or removing the port; for a USB adapter, a chip whose
// calls fail, come back short, empty or claiming more than was asked. Each operation is started
// as the window starts it (ReachChosenPort, then the operation), twice, so that a port lost in
// the first is tried again in the second. Whatever happens below, the user is told the truth:
//   - a port that failed during an operation never gives a success, and says so as
//     "Interface Port Lost: " with the reason, its only failure message;
//   - each transfer ends in exactly one outcome message; a lead test on a lost port gives no
//     verdict on the wiring;
//   - the adapter never has more bytes outstanding than its chip holds, nor more calls made of
//     it than the operations can need.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "capture/CaptureStore.h"
#include "capture/LeadTest.h"
#include "capture/Transfer.h"
#include "fuzz/Check.h"
#include "fuzz/Script.h"
#include "link/LinkSession.h"
#include "link/Protocol.h"
#include "ports/ChosenPort.h"
#include "ports/PortSelection.h"
#include "ports/SystemPorts.h"
#include "ports/parport/ParportDevice.h"
#include "ports/usb/UsbAdapters.h"
#include "sim/SimulatedFtdiBus.h"
#include "sim/SimulatedGameBoy.h"
#include "sim/VirtualCounter.h"
#include "tests/support/FakeParport.h"
#include "tests/support/FakePpdev.h"
#include "tests/support/FakeServices.h"
#include "tests/support/ParportRig.h"

namespace fennow::fuzz {
namespace {

using test::FakeServices;

// About 2 ms a reading at 1 GHz: a transfer's seconds of waiting take few readings.
constexpr std::int64_t kCoarseStep = 2'000'000;

// ---- A hostile chip
// ------------------------------------------------------------------------------

// What a chip call does instead of what the chip would: fail with an error, bring back fewer
// bytes or none, or claim more than were asked for.
struct ChipFault {
  std::uint32_t call;  // counted from 1 over all calls of the chip
  std::uint8_t action;
};

class HostileChip final : public FtdiChip {
 public:
  HostileChip(std::unique_ptr<FtdiChip> inner, const std::vector<ChipFault>& faults,
              std::size_t maxOutstanding, bool& failed, std::uint64_t& calls)
      : inner_(std::move(inner)),
        faults_(faults),
        maxOutstanding_(maxOutstanding),
        failed_(failed),
        calls_(calls) {}

  ChipResult SetBitMode(std::uint8_t outputs, BitMode mode) override {
    return Call([&] { return inner_->SetBitMode(outputs, mode); });
  }
  ChipResult SetRate(int rate) override {
    return Call([&] { return inner_->SetRate(rate); });
  }
  ChipResult SetLatencyTimer(int ms) override {
    return Call([&] { return inner_->SetLatencyTimer(ms); });
  }
  ChipResult GetLatencyTimer(int& ms) override {
    return Call([&] { return inner_->GetLatencyTimer(ms); });
  }
  ChipResult DiscardReadBuffer() override {
    outstanding_ = 0;
    return Call([&] { return inner_->DiscardReadBuffer(); });
  }
  ChipResult Write(std::span<const std::uint8_t> bytes) override {
    ChipResult result = Call([&] { return inner_->Write(bytes); });
    if (result.ok()) outstanding_ += bytes.size();
    FUZZ_CHECK(outstanding_ <= maxOutstanding_);
    return result;
  }
  ChipResult Read(std::span<std::uint8_t> bytes) override {
    const std::uint8_t action = Action();
    ++calls_;
    if (IsError(action)) return Fail(action);
    ChipResult result = inner_->Read(Asked(action, bytes));
    if (result.ok()) outstanding_ -= std::min<std::size_t>(outstanding_, result.count);
    if (!result.ok()) failed_ = true;
    // A library that says it read more than it was given room for.
    if (action == kOversized && result.ok()) result.count += static_cast<int>(bytes.size()) + 1;
    return result;
  }
  // A stream leaves nothing outstanding: it reads back what it wrote, or the port is lost.
  ChipResult Stream(std::span<const std::uint8_t> out, std::span<std::uint8_t> back, int limitMs,
                    int idleMs) override {
    const std::uint8_t action = Action();
    ++calls_;
    if (IsError(action)) return Fail(action);
    ChipResult result = inner_->Stream(out, Asked(action, back), limitMs, idleMs);
    if (!result.ok()) failed_ = true;
    if (action == kOversized && result.ok()) result.count += static_cast<int>(back.size()) + 1;
    return result;
  }
  ChipResult SetReadChunkSize(int bytes) override {
    return Call([&] { return inner_->SetReadChunkSize(bytes); });
  }
  int PacketPayload() const override { return inner_->PacketPayload(); }
  void Close() override { inner_->Close(); }

 private:
  static constexpr std::uint8_t kShort = 4;
  static constexpr std::uint8_t kEmpty = 5;
  static constexpr std::uint8_t kOversized = 6;

  static bool IsError(std::uint8_t action) { return action >= 1 && action <= 3; }
  // What a read faulted by `action` asks the chip for: all of `bytes`, half, or nothing.
  static std::span<std::uint8_t> Asked(std::uint8_t action, std::span<std::uint8_t> bytes) {
    if (action == kShort) return bytes.first(bytes.size() / 2);
    if (action == kEmpty) return {};
    return bytes;
  }

  std::uint8_t Action() {
    ++seen_;
    while (next_ < faults_.size() && faults_[next_].call < seen_) ++next_;
    return next_ < faults_.size() && faults_[next_].call == seen_ ? faults_[next_].action % 8 : 0;
  }
  ChipResult Fail(std::uint8_t action) {
    failed_ = true;
    static constexpr ChipError kErrors[] = {ChipError::IoError, ChipError::NotFound,
                                            ChipError::Busy};
    return {kErrors[action - 1], "usb bulk transfer failed", 0};
  }
  template <typename F>
  ChipResult Call(F call) {
    const std::uint8_t action = Action();
    ++calls_;
    if (IsError(action)) return Fail(action);
    ChipResult result = call();
    if (!result.ok()) failed_ = true;
    return result;
  }

  std::unique_ptr<FtdiChip> inner_;
  const std::vector<ChipFault>& faults_;
  std::size_t maxOutstanding_;
  std::size_t outstanding_ = 0;
  bool& failed_;
  std::uint64_t& calls_;  // of every chip the bus opened
  std::uint32_t seen_ = 0;
  std::size_t next_ = 0;
};

class HostileBus final : public FtdiBus {
 public:
  explicit HostileBus(SimulatedFtdiBus& inner) : inner_(inner) {}
  std::vector<ChipListing> List(std::uint16_t vendor, std::uint16_t product) override {
    return inner_.List(vendor, product);
  }
  Opened Open(const ChipListing& listing) override {
    Opened opened = inner_.Open(listing);
    if (opened.chip) {
      const UsbChipModel* model = UsbChipOf(listing.product);
      auto chip = std::make_unique<HostileChip>(std::move(opened.chip), faults,
                                                static_cast<std::size_t>(model->maxOutstanding),
                                                failed, calls);
      opened.chip = std::move(chip);
    }
    return opened;
  }

  std::vector<ChipFault> faults;
  bool failed = false;  // a call failed since this was last cleared
  std::uint64_t calls = 0;

 private:
  SimulatedFtdiBus& inner_;
};

// ---- The hostile /proc tree ------------------------------------------------------------------

// Folder names the kernel gives and names it never gives.
constexpr const char* kFolderNames[] = {"parport1",  "parport01", "parport",  "parportx",
                                        "parport+2", "Parport3",  "parport9", "default"};

void AddHostileEntries(Script& script, const test::FakeParportTree& tree) {
  for (int n = script.Byte() % 4; n > 0; --n) {
    const char* name = kFolderNames[script.Byte() % std::size(kFolderNames)];
    std::string text;
    for (int length = script.Byte() % 12; length > 0; --length) {
      text.push_back(static_cast<char>(script.Byte()));
    }
    tree.AddPort(name, text);
  }
}

// ---- The run ---------------------------------------------------------------------------------

constexpr int kErrors[] = {EIO, ENODEV, ENXIO, EINVAL, EFAULT, EINTR};
constexpr std::uint16_t kBases[] = {0x378, 0x278, 0xD010, 0xFFFE};

// A round trip's reads end within its 20 ms bound, or after 20 empty reads without a clock to
// time it by; this is far above either.
constexpr std::uint64_t kMaxEmptyReadsBound = 500;
// The most calls of the chip two operations can need: a round trip for every byte or sync clock
// they can make, each with its reads up to the empty reads that declare the adapter lost, and the
// opening (its rate measured in six bursts and a round trip) and checking around them.
constexpr std::uint64_t kMaxRoundTrips =
    2 * (kMaxRequestAttempts * (kSyncClockLimit + 2) + kScreenBytes + 8 + 3 * 7);
constexpr std::uint64_t kMaxChipCalls = kMaxRoundTrips * (kMaxEmptyReadsBound + 16);

// The messages one operation gave after the Reach box, if any, checked against what happened.
void CheckTransfer(TransferStatus status, const FakeServices& ui, std::size_t first, bool failed,
                   const std::string& lostReason) {
  FUZZ_CHECK(ui.messages.size() == first + 1);
  const test::Message& outcome = ui.messages[first];
  FUZZ_CHECK(outcome.title ==
             (status == TransferStatus::PortLost ? "Interface Port" : "Transfer Status"));
  FUZZ_CHECK((status == TransferStatus::Success) == (outcome.style == MessageStyle::MB_OK));
  FUZZ_CHECK(ui.Lit(Lamp::ErrorLamp) == (status != TransferStatus::Success));
  if (failed) FUZZ_CHECK(status == TransferStatus::PortLost);
  const bool saysLost = outcome.text.rfind(kPortLostText, 0) == 0;
  FUZZ_CHECK(saysLost == (status == TransferStatus::PortLost));
  if (saysLost) {
    FUZZ_CHECK(!lostReason.empty());
    FUZZ_CHECK(outcome.text == std::string(kPortLostText) + lostReason);
  }
}

void CheckLeadTest(bool passed, const FakeServices& ui, std::size_t first, bool failed,
                   const std::string& lostReason) {
  FUZZ_CHECK(ui.messages.size() == first + 2 || ui.messages.size() == first + 3);
  FUZZ_CHECK(ui.messages[first].text ==
             "Plug Gameboy Link Lead into PC.\nDisconnect Lead From Gameboy");
  const test::Message& verdict = ui.messages[first + 1];
  const bool saysLost = verdict.text.rfind(kPortLostText, 0) == 0;
  FUZZ_CHECK(saysLost == !lostReason.empty());
  if (failed) FUZZ_CHECK(saysLost);
  if (saysLost) {
    FUZZ_CHECK(!passed);
    FUZZ_CHECK(ui.messages.size() == first + 2);
    FUZZ_CHECK(verdict.title == "Interface Port");
    FUZZ_CHECK(verdict.text == std::string(kPortLostText) + lostReason);
  } else {
    FUZZ_CHECK(ui.messages.size() == first + 3);
    FUZZ_CHECK(verdict.text == (passed ? "Loop Back Detected OK" : "No Loop Back Detected"));
  }
}

struct Rig {
  VirtualCounter counter{kCoarseStep};
  SimulatedGameBoy gameBoy{[this] { return counter.Now(); }};
};

// Runs the operation twice from the window's road, checking each; `failedNow` says whether the
// back end's underside failed during the operation, and clears it.
template <typename FailedNow>
void Operate(Script& script, SystemPorts& host, Rig& rig, FailedNow failedNow) {
  const bool leadTest = script.Flag();
  const PortTable table = host.Ports();
  LinkSession link(rig.counter);
  FakeServices setUp;
  const auto choice = static_cast<PortChoice>(script.Byte() % 3);
  const PortTarget target = SelectPort(link.port, choice, table, setUp);
  PortNotices notices;
  CaptureStore store;
  for (int round = 0; round < 2; ++round) {
    FakeServices ui;
    ReachChosenPort({choice, target}, host, notices, ui, link);
    const std::size_t first = ui.messages.size();
    failedNow();
    if (leadTest) {
      const bool passed = TestLink(link, ui);
      CheckLeadTest(passed, ui, first, failedNow(), link.lines.LostReason());
    } else {
      const TransferStatus status = StartTransfer(link, ui, store);
      CheckTransfer(status, ui, first, failedNow(), link.lines.LostReason());
    }
    rig.gameBoy.Reset();
  }
}

void SetUpGameBoy(Script& script, SimulatedGameBoy& gameBoy) {
  gameBoy.SetRecording(false);
  // Mostly data blocks: they are shorter.
  gameBoy.SetModeByte(script.Byte() % 4 == 0 ? kModeScreen : kModeData);
  gameBoy.SetConnection(static_cast<Connection>(script.Byte() % 3 == 0 ? script.Byte() % 3 : 0));
  gameBoy.SetLoopWiring(static_cast<LoopWiring>(script.Byte() % 4));
}

void RunParallelPort(Script& script) {
  Rig rig;
  SetUpGameBoy(script, rig.gameBoy);
  test::FakeParportTree tree("fuzz");
  AddHostileEntries(script, tree);
  test::FakePpdev kernel(tree);
  test::Tripwire wire(rig.gameBoy);
  const std::uint16_t base = kBases[script.Byte() % std::size(kBases)];
  rig.gameBoy.SetPort(base, static_cast<std::uint16_t>(base + 1));
  test::FakePpdevPort& port = kernel.AddPort(0, base, &wire);
  const std::uint8_t holder = script.Byte();
  port.holder = static_cast<test::Holder>(holder % 4);
  port.releaseAfterMs = port.holder == test::Holder::SharedClaim ? 0 : -1;  // no second waits
  port.openError = (holder & 0x30) == 0x30 ? EACCES : 0;
  port.failFrom = script.Word();
  port.failError = kErrors[script.Byte() % std::size(kErrors)];
  const std::uint16_t removeAt = script.Word();
  wire.at = removeAt == 0 ? -1 : removeAt * 4L;
  wire.trip = [&kernel] { kernel.Remove(0); };

  SystemPortsSetup environment;
  environment.parportProcRoot = tree.proc().string();
  environment.deviceRoot = tree.dev().string();
  environment.openDevice = [&kernel](const ParportEntry& entry) {
    return OpenParportDevice(kernel, entry);
  };
  SystemPorts host(environment);
  // Whether the model failed a request or lost the port since the last asking.
  long failures = 0;
  bool removedBefore = false;
  Operate(script, host, rig, [&] {
    const bool removed = port.removed && !removedBefore;
    removedBefore = port.removed;
    const long now =
        port.failFrom > 0 ? std::max(0L, port.registerRequests - port.failFrom + 1) : 0;
    const bool failed = now > failures || removed;
    failures = now;
    return failed;
  });
}

void RunUsbAdapter(Script& script) {
  Rig rig;
  SetUpGameBoy(script, rig.gameBoy);
  SimulatedAdapterSetup setup;
  setup.product = script.Flag() ? 0x6014 : 0x6001;
  setup.farEnd = &rig.gameBoy;
  SimulatedFtdiBus bus(rig.counter);
  bus.Plug(setup);
  HostileBus hostile(bus);
  for (int n = script.Byte() % 8; n > 0; --n) {
    const std::uint32_t call = script.Word();
    hostile.faults.push_back({call, script.Byte()});
  }
  std::sort(hostile.faults.begin(), hostile.faults.end(),
            [](const ChipFault& a, const ChipFault& b) { return a.call < b.call; });
  SystemPorts host(AdaptersOnlySetup(hostile, rig.counter));
  Operate(script, host, rig, [&] {
    const bool failed = hostile.failed;
    hostile.failed = false;
    return failed;
  });
  FUZZ_CHECK(hostile.calls <= kMaxChipCalls);
}

}  // namespace
}  // namespace fennow::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fennow::fuzz::Script script(data, size);
  if (script.Flag()) {
    fennow::fuzz::RunUsbAdapter(script);
  } else {
    fennow::fuzz::RunParallelPort(script);
  }
  return 0;
}
