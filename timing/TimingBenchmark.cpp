// SPDX-License-Identifier: GPL-3.0-or-later
// Measures, on the real monotonic clock, how closely the busy-wait delays and a whole transfer
// against the simulated Game Boy keep to the waits the protocol asks for; and what a transfer
// through the USB adapter costs against the same floor, its payload streamed (simulated FT232R and
// FT232H, round trips of 1 and 2 ms, pin clocks of 1 and 16 times the baud rate), on the real
// clock and on a virtual one.

#include <time.h>

#include <QApplication>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/LinkWindow.h"
#include "app/WindowPlatform.h"
#include "capture/CaptureStore.h"
#include "capture/Transfer.h"
#include "link/ByteExchange.h"
#include "link/Counter.h"
#include "link/Delay.h"
#include "link/FrontEnd.h"
#include "link/LinkSession.h"
#include "link/Protocol.h"
#include "ports/PortDirectory.h"
#include "ports/SystemPorts.h"
#include "sim/SimulatedGameBoy.h"
#include "sim/SimulatedUsbLead.h"
#include "sim/VirtualCounter.h"
#include "timing/TimingResults.h"

namespace fennow {
namespace {

// Services that cost nothing, so the table shows the link alone. What the real window's lamps
// and progress bar add to a transfer belongs in the row left for it below.
class QuietServices final : public WindowServices {
 public:
  void SetLamp(Lamp, bool) override {}
  void SetProgress(std::int32_t) override {}
  void ShowMessage(const std::string&, const std::string&, MessageStyle) override {}
  bool KeyPressed() override { return false; }
  SaveAnswer RunSaveDialog(const SaveRequest&) override { return {}; }
};

// Median, 99th percentile and maximum of counter intervals, in microseconds.
Percentiles Summarise(std::vector<std::int64_t>& intervals) {
  std::sort(intervals.begin(), intervals.end());
  const auto at = [&](double fraction) {
    const auto index =
        static_cast<std::size_t>(fraction * static_cast<double>(intervals.size() - 1));
    return static_cast<double>(intervals[index]) / kNsPerUs;
  };
  return {at(0.5), at(0.99), static_cast<double>(intervals.back()) / kNsPerUs};
}

// The real window's dialogs, answered at once: the outcome boxes of a timed transfer must not
// wait for a person.
class SilentDialogs final : public DialogHost {
 public:
  void ShowMessage(QWidget*, const std::string&, const std::string&, MessageStyle) override {}
  SaveAnswer RunSaveDialog(QWidget*, const SaveRequest&) override { return {}; }
  void RunAboutBox(QWidget*) override {}
  UnsavedChoice AskUnsaved(QWidget*, std::size_t) override { return UnsavedChoice::Discard; }
};

class NoKeys final : public KeySource {
 public:
  bool KeyWaiting() override { return false; }
};

// Each call repaints its control before it returns, so this is the price of one lamp or bar
// update in the middle of a transfer.
WindowCosts MeasureWindowServices(LinkWindow& window, Counter& counter) {
  std::vector<std::int64_t> progress(kServiceCalls);
  std::vector<std::int64_t> lamp(kServiceCalls);
  for (int i = 0; i < kServiceCalls; ++i) {
    const std::int64_t start = counter.Count();
    window.SetProgress(i % 101);
    progress[static_cast<std::size_t>(i)] = counter.Count() - start;
  }
  for (int i = 0; i < kServiceCalls; ++i) {
    const std::int64_t start = counter.Count();
    window.SetLamp(static_cast<Lamp>(i % 4), (i / 4) % 2 == 0);
    lamp[static_cast<std::size_t>(i)] = counter.Count() - start;
  }
  return {Summarise(progress), Summarise(lamp)};
}

Percentiles MeasureHalfBit(Counter& counter) {
  Delay delay(counter);
  std::vector<std::int64_t> waits(kDelayCalls);
  for (auto& wait : waits) {
    const std::int64_t start = counter.Count();
    delay.DelayMicroseconds(kHalfBitUs);
    wait = counter.Count() - start;
  }
  return Summarise(waits);
}

// A clock that reports no frequency, so that every wait ends at once: what an exchange then
// costs is its port accesses alone.
class NoWaits final : public Counter {
 public:
  std::int64_t Frequency() override { return 0; }
  std::int64_t Count() override { return 0; }
};

// Hands the program's own ports the Game Boy at a legacy address, as direct I/O would.
class Forward final : public PortIo {
 public:
  explicit Forward(PortIo& to) : to_(to) {}
  void Write(std::uint16_t address, std::uint8_t value) override { to_.Write(address, value); }
  std::uint8_t Read(std::uint16_t address) override { return to_.Read(address); }

 private:
  PortIo& to_;
};

double NsPerByte(LinkSession& link, MonotonicCounter& clock) {
  const std::int64_t start = clock.Count();
  for (int i = 0; i < kCostBytes; ++i) ExchangeByte(link, static_cast<std::uint8_t>(i));
  const std::int64_t elapsed = clock.Count() - start;
  return static_cast<double>(elapsed) / kCostBytes;
}

// One byte's 34 port accesses, without the waits: straight on the Game Boy, and through the
// program's own ports to the same Game Boy.
ByteCost MeasureByteCost(MonotonicCounter& clock) {
  NoWaits noWaits;
  SimulatedGameBoy gameBoy([] { return std::int64_t{0}; });
  gameBoy.SetRecording(false);
  LinkSession direct(gameBoy, noWaits);
  SystemPortsSetup setup;
  setup.parportProcRoot.clear();
  setup.openDirect = [&gameBoy](std::uint16_t) { return std::make_unique<Forward>(gameBoy); };
  SystemPorts host(setup);
  LinkSession hosted(*host.Reach(ParallelPortAt(0x378)).port, noWaits);
  return {NsPerByte(direct, clock), NsPerByte(hosted, clock)};
}

// The floor is the sum of the waits the protocol itself makes: each sync clock's two half-bits
// and 10 ms spacing, each exchange's sixteen half-bits, the pauses around the mode byte and the
// 2 ms after every payload byte. Port accesses and counter reads come on top.
double FloorMs(std::uint64_t syncClocks, std::uint64_t exchanges, std::uint64_t payload) {
  constexpr double kHalfBitMs = kHalfBitUs / 1000.0;
  return static_cast<double>(syncClocks) * (2 * kHalfBitMs + kSyncSpacingMs) +
         static_cast<double>(exchanges) * kBitsPerByte * 2 * kHalfBitMs + kBeforeModeMs +
         kAfterModeMs + static_cast<double>(payload) * kByteSpacingMs;
}

// Processor time the process has used, in nanoseconds.
std::int64_t ProcessorNs() {
  timespec used{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
  return static_cast<std::int64_t>(used.tv_sec) * 1'000'000'000 + used.tv_nsec;
}

TransferRun RunTransfer(const char* name, SimulatedGameBoy& gameBoy, LinkSession& link,
                        WindowServices& ui, Counter& counter, std::size_t payload,
                        const std::vector<std::int32_t>& expected) {
  CaptureStore store;
  const std::uint64_t pulsesBefore = gameBoy.ClockPulses();
  const std::int64_t cpuStart = ProcessorNs();
  const std::int64_t start = counter.Count();
  const TransferStatus status = StartTransfer(link, ui, store);
  const std::int64_t end = counter.Count();
  const std::int64_t cpuEnd = ProcessorNs();

  const std::uint64_t exchanges = 2 + payload;  // request, mode byte, payload
  const std::uint64_t pulses = gameBoy.ClockPulses() - pulsesBefore;
  const std::uint64_t syncClocks = pulses - kBitsPerByte * exchanges;
  const bool intact = std::equal(expected.begin(), expected.end(), store.CaptureBuffer.begin());
  return {name,
          status,
          intact,
          syncClocks,
          exchanges,
          FloorMs(syncClocks, exchanges, payload),
          static_cast<double>(end - start) / kNsPerMs,
          static_cast<double>(cpuEnd - cpuStart) / kNsPerMs};
}

// Payloads whose every slot is checked afterwards: a checkerboard of tiles and a ramp.
struct Payloads {
  std::array<std::uint8_t, kScreenBytes> rows{};
  std::vector<std::int32_t> screenSlots = std::vector<std::int32_t>(kScreenBytes);
  std::array<std::uint8_t, kDataBytes> block{};
  std::vector<std::int32_t> dataSlots = std::vector<std::int32_t>(kDataBytes);
};

Payloads MakePayloads() {
  Payloads p;
  for (int y = 0; y < kScreenHeight; ++y) {
    for (int c = 0; c < kScreenRowBytes; ++c) {
      const auto b = static_cast<std::uint8_t>(((y / kTileSide + c) % 2) != 0 ? 0xFF : 0x18);
      p.rows[static_cast<std::size_t>(y * kScreenRowBytes + c)] = b;
      p.screenSlots[static_cast<std::size_t>(ScreenSlot(y, c))] = b ^ 0xFF;
    }
  }
  for (std::size_t j = 0; j < p.block.size(); ++j) {
    p.block[j] = static_cast<std::uint8_t>(j * 7);
    p.dataSlots[j] = p.block[j];
  }
  return p;
}

// A screen and a data block with services that do nothing, then the screen once more through
// the real window, its lamps and bar repainting as it goes.
void MeasureTransfers(Counter& counter, Results& results) {
  SimulatedGameBoy gameBoy([&counter] { return counter.Count(); });
  gameBoy.SetRecording(false);  // the edge log would cost time and memory on every write
  LinkSession link(gameBoy, counter);
  const Payloads p = MakePayloads();

  QuietServices quiet;
  gameBoy.LoadScreen(p.rows);
  results.runs.push_back(
      RunTransfer("screen", gameBoy, link, quiet, counter, kScreenBytes, p.screenSlots));
  gameBoy.LoadData(p.block);
  results.runs.push_back(
      RunTransfer("data", gameBoy, link, quiet, counter, kDataBytes, p.dataSlots));

  SilentDialogs dialogs;
  NoKeys keys;
  LegacyPortDirectory ports{gameBoy};
  WindowPlatform platform{ports, counter, dialogs, keys};
  LinkWindow window(platform);
  window.show();
  QApplication::processEvents();
  results.costs = MeasureWindowServices(window, counter);
  gameBoy.LoadScreen(p.rows);
  results.runs.push_back(
      RunTransfer("+window", gameBoy, link, window, counter, kScreenBytes, p.screenSlots));
}

UsbRun RunUsbTransfer(const char* name, const char* clockName, const UsbModel& model,
                      Counter& counter, bool screen, const Payloads& p) {
  SimulatedGameBoy gameBoy([&counter] { return counter.Count(); });
  gameBoy.SetRecording(false);
  if (screen) {
    gameBoy.LoadScreen(p.rows);
  } else {
    gameBoy.LoadData(p.block);
  }
  SimulatedUsbLead lead(gameBoy, counter, model.roundTripMs * 1'000'000, model.product,
                        model.updatesPerRate);
  lead.Adapter().SetRecording(false);
  if (lead.Port() == nullptr) {
    std::printf("The simulated adapter could not be opened: %s\n", lead.Name().c_str());
    return {clockName, model, {name, TransferStatus::PortLost, false, 0, 0, 1.0, 0.0, 0.0}, 0};
  }
  // The Game Boy's software started once the program holds the adapter, as on a parallel port.
  gameBoy.Reset();
  LinkSession link(*lead.Port(), counter);
  QuietServices quiet;
  const std::uint64_t writes = lead.Adapter().Writes();
  const TransferRun run =
      screen ? RunTransfer(name, gameBoy, link, quiet, counter, kScreenBytes, p.screenSlots)
             : RunTransfer(name, gameBoy, link, quiet, counter, kDataBytes, p.dataSlots);
  return {clockName, model, run, lead.Adapter().Writes() - writes};
}

// The chips, with USB round trips of 1 and 2 ms, and pin clocks of 1 and 16 times the baud rate
// (libftdi's own factor of 4 included: 4 and 64 updates a second per unit on an FT232R, 5 and 80
// on an FT232H).
constexpr std::array<UsbModel, 8> kUsbModels{{
    {"FT232R", 0x6001, 1, 16, 64},
    {"FT232R", 0x6001, 1, 1, 4},
    {"FT232R", 0x6001, 2, 16, 64},
    {"FT232R", 0x6001, 2, 1, 4},
    {"FT232H", 0x6014, 1, 16, 80},
    {"FT232H", 0x6014, 1, 1, 5},
    {"FT232H", 0x6014, 2, 16, 80},
    {"FT232H", 0x6014, 2, 1, 5},
}};

// A screen and a data block through the simulated adapter: for the first model on the real clock
// too, and for every model on a virtual clock that moves 1 us a reading (the protocol's time
// without the host's).
void MeasureUsbTransfers(Counter& realClock, Results& results) {
  const Payloads p = MakePayloads();
  for (const bool screen : {true, false}) {
    const char* name = screen ? "screen" : "data";
    results.usbRuns.push_back(RunUsbTransfer(name, "real", kUsbModels[0], realClock, screen, p));
    for (const UsbModel& model : kUsbModels) {
      VirtualCounter virtualClock(1000);
      results.usbRuns.push_back(RunUsbTransfer(name, "virtual", model, virtualClock, screen, p));
    }
  }
}

}  // namespace
}  // namespace fennow

int main(int argc, char* argv[]) {
  using namespace fennow;
  // The window is measured as the program draws it, without a display to wait on.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  MonotonicCounter counter;
  if (counter.Frequency() <= 0) {
    std::printf("The monotonic clock is coarser than 1 us on this machine; nothing measured.\n");
    return 1;
  }
  Results results;
  results.halfBit = MeasureHalfBit(counter);
  MeasureTransfers(counter, results);
  MeasureUsbTransfers(counter, results);
  results.byteCost = MeasureByteCost(counter);
  return PrintResults(results) ? 0 : 1;
}
