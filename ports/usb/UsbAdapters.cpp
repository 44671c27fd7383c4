// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/usb/UsbAdapters.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link/Delay.h"

namespace fennow {

namespace {

// Status register bits with no line behind them read 1, as a parallel port's unconnected inputs.
constexpr std::uint8_t kUnwiredStatusBits = 0x3F;

// Both reference drivers of synchronous bit-bang run the latency timer at 1 ms: with the default
// 16 ms every partly filled reply would wait that long.
constexpr int kLatencyTimerMs = 1;

// A whole reply takes a USB round trip, the time the chip needs to put its bytes out and at most
// one latency-timer period more: a few milliseconds on either chip. An adapter that has not
// brought the whole reply back after this long, in however many reads, has stopped answering.
// (A read that hangs ends in a USB timeout instead, which is an error.)
constexpr std::int64_t kRoundTripLimitMs = 20;

// A stream's read asks for at most this much at a time, in whole packets (libftdi submits it again
// until the whole reply is in): libftdi 1.5 caps its read chunk at 16 KiB on Linux
// (ftdi_read_data_set_chunksize in src/ftdi.c).
constexpr std::size_t kStreamChunkLimit = 16'384;

// What happened to an adapter that fails while in use, by cause, for "Interface Port Lost: ".
// "{}" stands for the adapter's name.
struct LostText {
  ChipError error;
  std::string_view lost;
};

constexpr std::array<LostText, 4> kLostTexts{{
    {ChipError::PermissionDenied, "{} refused access"},
    {ChipError::Busy, "{} was taken by another program"},
    {ChipError::NotFound, "{} was unplugged"},
    {ChipError::IoError, "{} stopped working"},
}};

std::string DescribeLoss(const std::string& name, const ChipResult& result) {
  const auto found = std::find_if(kLostTexts.begin(), kLostTexts.end(),
                                  [&](const LostText& c) { return c.error == result.error; });
  std::string text(found != kLostTexts.end() ? found->lost : kLostTexts.back().lost);
  text.replace(text.find("{}"), 2, name);
  if (!result.text.empty()) text += " (" + result.text + ")";
  return text;
}

// How each failure of the chip reads to the user. A chip that is not found was there when the
// ports were listed, so it has been unplugged since.
struct ReasonOfError {
  ChipError error;
  PortReason reason;
};

constexpr std::array<ReasonOfError, 4> kReasonsOfErrors{{
    {ChipError::PermissionDenied, PortReason::PermissionDenied},
    {ChipError::Busy, PortReason::Busy},
    {ChipError::NotFound, PortReason::DeviceLost},
    {ChipError::IoError, PortReason::Other},
}};

UsbOpenResult Refused(const std::string& name, const ChipResult& failure) {
  PortProblem problem = UsbProblem(name, failure);
  std::string reason = name + ": " + DetailedWhyText(problem) + ". " + RemedyText(problem);
  return {nullptr, failure.error, std::move(problem), std::move(reason), {}};
}

// std::to_chars, unlike printf, never takes a decimal comma from the user's locale.
std::string Fixed(double value, int decimals) {
  char text[32];
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return std::string(text, result.ptr);
}

// Why a reply was given up: "no reply to 26 bytes", "only 62 of 124 bytes came back within 20 ms".
std::string ShortReply(std::size_t got, std::size_t asked, std::int64_t limitMs) {
  if (got == 0) return "no reply to " + std::to_string(asked) + " bytes";
  return "only " + std::to_string(got) + " of " + std::to_string(asked) +
         " bytes came back within " + std::to_string(limitMs) + " ms";
}

std::string AdapterName(const UsbChipModel& model, const ChipListing& listing) {
  const std::string serial = !listing.serial.empty() ? listing.serial
                             : listing.access.ok()   ? "(no serial number)"
                                                     : "(serial number unreadable)";
  return "USB " + std::string(model.name) + " " + serial;
}

// What goes to the chip for one round trip or more: a byte per update of the pins, and which
// read-back bytes are the script's samples. In synchronous mode the chip reads its pins just
// before it puts out each byte, so read-back byte i shows the pins as byte i - 1 left them: the
// sample of a step is the read-back byte at the index of whatever is put out next.
struct PinBatch {
  std::vector<std::uint8_t> out;
  std::vector<std::size_t> sampleAt;
};

class UsbAdapterPort final : public PortIo {
 public:
  UsbAdapterPort(std::unique_ptr<FtdiChip> chip, const UsbChipModel& model, std::string name,
                 Counter& counter, std::uint16_t base)
      : chip_(std::move(chip)),
        model_(model),
        name_(std::move(name)),
        delay_(counter),
        base_(base),
        packet_(PacketSize(model, chip_->PacketPayload())),
        chunk_(static_cast<std::size_t>(model.maxOutstanding) / packet_ * packet_) {}
  ~UsbAdapterPort() override { chip_->Close(); }
  UsbAdapterPort(const UsbAdapterPort&) = delete;
  UsbAdapterPort& operator=(const UsbAdapterPort&) = delete;

  // Bit-bang mode, the latency timer, the rate measured, then the outputs low in one round trip,
  // which also shows that the chip answers.
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
    return static_cast<std::int64_t>(std::ceil(perRate_ * kMeasureMargin * rate));
  }
  // Writes `out` and reads as many bytes back within `limitMs`; a failure loses the port.
  void RoundTrip(std::span<const std::uint8_t> out, std::span<std::uint8_t> back,
                 std::int64_t limitMs = kRoundTripLimitMs);
  // A round trip of `n` updates of the pins as they stand, in nanoseconds; -1 when it failed.
  std::int64_t TimedBurst(std::size_t n, std::int64_t limitMs);
  // The same streamed, into `ns`; a burst that does not all come back within `limitMs` is the
  // mark of a chip slower than any in bit-bang mode.
  ChipResult TimedStream(std::size_t n, std::int64_t limitMs, std::int64_t& ns);
  ChipResult Measure();
  // Nanoseconds on the counter since `start`, a reading of it.
  std::int64_t NsSince(std::int64_t start);
  void Lose(const ChipResult& failure) {
    if (!lost_.empty()) return;
    lostCause_ = failure;
    lost_ = DescribeLoss(name_, failure);
  }

  std::unique_ptr<FtdiChip> chip_;
  const UsbChipModel& model_;
  std::string name_;
  Delay delay_;
  std::uint16_t base_;
  std::size_t packet_;
  std::size_t chunk_;
  std::uint8_t data_ = 0;         // the data register, as the pins hold it
  double perRate_ = 0;            // updates a second per unit of the rate argument, as measured
  int rate_ = 0;                  // the rate argument the chip has now
  int streamRate_ = 0;            // the rate argument payloads stream at
  std::int64_t roundTripNs_ = 0;  // of a single update, at open
  int readChunk_ = 0;             // what a USB read asks for, as last set
  ChipResult lostCause_;
  std::string lost_;
};

ChipResult UsbAdapterPort::Start() {
  // In this order: libftdi scales the rate only once bit-bang mode is on, and the mode change
  // may leave stale bytes behind.
  const std::array<std::function<ChipResult()>, 6> steps{
      [this] { return chip_->SetLatencyTimer(kLatencyTimerMs); },
      [this] { return chip_->SetBitMode(UsbOutputPins(), BitMode::SyncBitBang); },
      [this] { return chip_->SetRate(kMeasureRate); },
      [this] { return chip_->DiscardReadBuffer(); },
      [this] { return Measure(); },
      [this] { return chip_->SetRate(model_.rate); },
  };
  for (const auto& step : steps) {
    if (ChipResult result = step(); !result.ok()) return result;
  }
  rate_ = model_.rate;
  const auto wanted = static_cast<int>(std::min<double>(
      model_.rate, static_cast<double>(kStreamUpdates) / (perRate_ * kMeasureMargin)));
  streamRate_ = ExactRateAtMost(wanted, model_.exactRates);
  roundTripNs_ = TimedBurst(1, kRoundTripLimitMs);
  return lostCause_;
}

bool UsbAdapterPort::UseRate(int rate) {
  if (!lost_.empty()) return false;
  if (rate == rate_) return true;
  if (const ChipResult set = chip_->SetRate(rate); !set.ok()) {
    Lose(set);
    return false;
  }
  rate_ = rate;
  return true;
}

std::int64_t UsbAdapterPort::TimedBurst(std::size_t n, std::int64_t limitMs) {
  const std::vector<std::uint8_t> out(n, PinsForData(data_));
  std::vector<std::uint8_t> back(n);
  const std::int64_t start = delay_.counter().Count();
  RoundTrip(out, back, limitMs);
  return lost_.empty() ? NsSince(start) : -1;
}

ChipResult UsbAdapterPort::TimedStream(std::size_t n, std::int64_t limitMs, std::int64_t& ns) {
  const std::vector<std::uint8_t> out(n, PinsForData(data_));
  std::vector<std::uint8_t> back(n);
  const std::int64_t start = delay_.counter().Count();
  ChipResult result = chip_->Stream(out, back, static_cast<int>(limitMs));
  if (!result.ok()) return result;
  if (static_cast<std::size_t>(result.count) != n) {
    return {ChipError::IoError,
            "its pins change fewer than " + Fixed(kPerRateFloor, 0) +
                " times a second per unit of rate (" + ShortReply(result.count, n, limitMs) +
                "): it is not in bit-bang mode as expected",
            0};
  }
  ns = NsSince(start);
  return {};
}

std::int64_t UsbAdapterPort::NsSince(std::int64_t start) {
  Counter& clock = delay_.counter();
  const auto ticks = static_cast<std::int64_t>(static_cast<std::uint64_t>(clock.Count()) -
                                               static_cast<std::uint64_t>(start));
  return static_cast<std::int64_t>(static_cast<double>(ticks) * 1e9 /
                                   static_cast<double>(clock.Frequency()));
}

// Pairs of bursts of updates at the measuring rate, each burst the quickest of three tries: both
// of a pair wait out the same USB round trip and the same latency timer at their end, so their
// difference is the time the extra updates took at the pins. Streamed, so that the longer burst
// is not held to what the chip may have outstanding.
ChipResult UsbAdapterPort::Measure() {
  constexpr std::size_t kSmall = 32;
  constexpr double kFirstPairSlack = 1.5;
  constexpr int kTries = 3;
  std::size_t large = 128;
  for (bool first = true;; first = false) {
    const auto limitMs = static_cast<std::int64_t>(
        static_cast<double>(large) * 1000 / (kPerRateFloor * kMeasureRate) + kRoundTripLimitMs);
    std::int64_t small = -1;
    std::int64_t long_ = -1;
    for (int i = 0; i < kTries; ++i) {
      std::int64_t s = 0;
      std::int64_t l = 0;
      if (ChipResult timed = TimedStream(kSmall, limitMs, s); !timed.ok()) return timed;
      if (ChipResult timed = TimedStream(large, limitMs, l); !timed.ok()) return timed;
      small = small < 0 ? s : std::min(small, s);
      long_ = long_ < 0 ? l : std::min(long_, l);
    }
    if (long_ <= small) {
      return {ChipError::IoError,
              "its pin rate could not be measured: " + std::to_string(large) +
                  " updates took no longer than " + std::to_string(kSmall),
              0};
    }
    const double spanNs = static_cast<double>(long_ - small);
    const auto updates = static_cast<double>(large - kSmall);
    perRate_ = updates * 1e9 / spanNs / kMeasureRate;
    // The first pair may be a USB frame or two out; only the last decides.
    const double slack = first ? kFirstPairSlack : 1.0;
    if (perRate_ * slack < kPerRateFloor || perRate_ > model_.perRateLimit * slack) {
      return {ChipError::IoError,
              "its pins change " + Fixed(perRate_, 1) +
                  " times a second per unit of rate, outside " + Fixed(kPerRateFloor, 0) + " to " +
                  Fixed(model_.perRateLimit, 0) + ": it is not in bit-bang mode as expected",
              0};
    }
    if (!first || spanNs >= kMeasureSpanMs * 1e6) return {};
    large = kSmall + static_cast<std::size_t>(std::ceil(updates * kMeasureSpanMs * 1e6 / spanNs));
  }
}

std::string UsbAdapterPort::Report() const {
  return Fixed(perRate_ * model_.rate / 1e6, 2) + " M pin updates a second (" + Fixed(perRate_, 1) +
         " per unit of rate " + std::to_string(model_.rate) + "), a round trip " +
         Fixed(static_cast<double>(roundTripNs_) / 1e6, 2) + " ms; payloads stream at " +
         Fixed(perRate_ * streamRate_ / 1e6, 2) + " M (rate " + std::to_string(streamRate_) + ")";
}

void UsbAdapterPort::Write(std::uint16_t address, std::uint8_t value) {
  if (address != base_ || !lost_.empty()) return;
  data_ = value;
  PinBatch batch{{PinsForData(data_)}, {}};
  LineSamples none;
  Flush(batch, none);
}

std::uint8_t UsbAdapterPort::Read(std::uint16_t address) {
  if (address != base_ + 1) return 0xFF;
  // The pins as they stand, read just before the same value is put out once more.
  PinBatch batch{{PinsForData(data_)}, {0}};
  LineSamples status;
  Flush(batch, status);
  return status.front();
}

bool UsbAdapterPort::RunScript(const LineScript& script, const LinkPort& port,
                               LineSamples& samples) {
  if (port.DataPort != base_ || port.StatusPort != base_ + 1u) return false;
  // A streamed script keeps even its pauses of milliseconds at the pins, at a rate slow enough
  // for the bus to carry both ways; anything else goes as fast as the chip is set to.
  const bool streamed = script.IsStreamable();
  if (!UseRate(streamed ? streamRate_ : model_.rate)) {
    samples.insert(samples.end(), script.SampleCount(), std::uint8_t{0xFF});
    return true;
  }
  const std::int64_t perSecond = PlannedRate(rate_);
  std::uint32_t latch = port.OutputLatch;
  PinBatch batch;
  std::uint8_t pins = PinsForData(data_);
  std::size_t lastEvent = 0;  // where the last write or sample fell in the batch
  std::size_t holdUntil = 0;  // the first index at which the next one may fall
  const auto hold = [&] {
    if (batch.out.size() < holdUntil) batch.out.resize(holdUntil, pins);
  };

  for (const LineStep& step : script.Steps()) {
    switch (step.kind) {
      case LineStep::Kind::Change:
        hold();
        latch = ChangeLines(latch, step.set, step.clear);
        data_ = static_cast<std::uint8_t>(latch & 0xFFu);
        pins = PinsForData(data_);
        lastEvent = batch.out.size();
        batch.out.push_back(pins);
        break;
      case LineStep::Kind::Wait: {
        const auto updates = static_cast<std::size_t>(std::max(HoldUpdates(step.us, perSecond), 0));
        if (streamed || updates <= chunk_ / 2) {
          holdUntil = std::max(holdUntil, lastEvent) + updates;
          break;
        }
        // A pause of milliseconds is the host's: once the reply is back the pins have been put
        // out, and the next write leaves only after the wait, so it holds at the pins.
        hold();
        Flush(batch, samples);
        batch = {};
        lastEvent = holdUntil = 0;
        delay_.DelayMicroseconds(step.us);
        break;
      }
      case LineStep::Kind::Sample:
        hold();
        lastEvent = batch.out.size();
        batch.sampleAt.push_back(lastEvent);
        break;
    }
  }
  hold();
  Flush(batch, samples, streamed);
  return true;
}

void UsbAdapterPort::Flush(PinBatch& batch, LineSamples& samples, bool streamed) {
  // A sample after the last byte is read back with one more copy of the pins as they stand.
  if (!batch.sampleAt.empty() && batch.sampleAt.back() >= batch.out.size()) {
    batch.out.push_back(PinsForData(data_));
  }
  if (lost_.empty() && streamed && !batch.out.empty()) {
    std::vector<std::uint8_t> back(batch.out.size());
    StreamOut(batch.out, back, PlannedRate(rate_));
    if (lost_.empty()) {
      for (std::size_t at : batch.sampleAt) samples.push_back(StatusFromPins(back[at]));
      return;
    }
  } else if (lost_.empty() && !batch.out.empty()) {
    // Filled up to whole packets with the pins as they stand: the reply then leaves the chip at
    // once instead of when the latency timer runs out.
    const std::size_t padded = (batch.out.size() + packet_ - 1) / packet_ * packet_;
    batch.out.resize(padded, batch.out.back());

    std::vector<std::uint8_t> back(batch.out.size());
    const std::span<const std::uint8_t> out(batch.out);
    for (std::size_t start = 0; start < out.size() && lost_.empty(); start += chunk_) {
      const std::size_t n = std::min(chunk_, out.size() - start);
      RoundTrip(out.subspan(start, n), std::span(back).subspan(start, n));
    }
    if (lost_.empty()) {
      for (std::size_t at : batch.sampleAt) samples.push_back(StatusFromPins(back[at]));
      return;
    }
  }
  // A lost adapter reads like an empty socket.
  samples.insert(samples.end(), batch.sampleAt.size(), std::uint8_t{0xFF});
}

void UsbAdapterPort::StreamOut(std::span<const std::uint8_t> out, std::span<std::uint8_t> back,
                               std::int64_t perSecond) {
  // The pins take the planned time, or up to the margin longer; what a stream may take on top is
  // a round trip or two at its end, and a bus that briefly cannot keep up. A stream that takes
  // twice as long as its pins do has stopped.
  const auto pinsMs = static_cast<std::int64_t>(out.size()) * 1000 / perSecond;
  const auto limitMs = 2 * pinsMs + kRoundTripLimitMs;
  // Whole packets at a time, as for a round trip; the last may be part-filled.
  const auto packets =
      std::min((out.size() + packet_ - 1) / packet_, kStreamChunkLimit / (packet_ + 2));
  if (const auto chunk = static_cast<int>(packets * (packet_ + 2)); chunk != readChunk_) {
    if (const ChipResult set = chip_->SetReadChunkSize(chunk); !set.ok()) {
      Lose(set);
      return;
    }
    readChunk_ = chunk;
  }
  const ChipResult streamed = chip_->Stream(out, back, static_cast<int>(limitMs));
  if (!streamed.ok()) {
    Lose(streamed);
  } else if (static_cast<std::size_t>(streamed.count) != out.size()) {
    Lose({ChipError::IoError,
          ShortReply(static_cast<std::size_t>(streamed.count), out.size(), limitMs)});
  }
}

void UsbAdapterPort::RoundTrip(std::span<const std::uint8_t> out, std::span<std::uint8_t> back,
                               std::int64_t limitMs) {
  // A USB read asks for exactly the reply's packets, status bytes and all, so that a reply of
  // whole packets ends the read as soon as it is in, not a latency-timer period later.
  const auto chunk = static_cast<int>((out.size() + packet_ - 1) / packet_ * (packet_ + 2));
  if (chunk != readChunk_) {
    if (const ChipResult set = chip_->SetReadChunkSize(chunk); !set.ok()) {
      Lose(set);
      return;
    }
    readChunk_ = chunk;
  }
  const ChipResult written = chip_->Write(out);
  if (!written.ok()) {
    Lose(written);
    return;
  }
  Counter& clock = delay_.counter();
  const std::int64_t frequency = clock.Frequency();
  const std::int64_t start = clock.Count();
  const std::int64_t limit = frequency / 1000 * limitMs;  // ticks; 0 without a clock
  std::size_t got = 0;
  for (int empty = 0; got < back.size();) {
    const ChipResult read = chip_->Read(back.subspan(got));
    if (!read.ok()) {
      Lose(read);
      return;
    }
    if (read.count > 0) got += static_cast<std::size_t>(read.count);
    if (read.count <= 0) ++empty;
    if (got >= back.size()) return;
    // The whole round trip is bounded, not the reads in a row: a chip that brings a byte now
    // and then would otherwise never be given up.
    const auto elapsed = static_cast<std::int64_t>(static_cast<std::uint64_t>(clock.Count()) -
                                                   static_cast<std::uint64_t>(start));
    // Without a clock to time it by, an empty read stands for one latency-timer period.
    if (limit > 0 ? elapsed > limit : empty >= limitMs / kLatencyTimerMs) {
      Lose({ChipError::IoError, ShortReply(got, out.size(), limitMs)});
      return;
    }
  }
}

}  // namespace

std::uint8_t PinsForData(std::uint8_t dataRegister) {
  std::uint8_t pins = 0;
  for (const PinRoute& route : kUsbPinMap) {
    const bool high = ((dataRegister & route.line) != 0) != route.inverted;
    if (route.output && high) pins = static_cast<std::uint8_t>(pins | (1u << route.pin));
  }
  return pins;
}

std::uint8_t StatusFromPins(std::uint8_t pins) {
  std::uint8_t status = kUnwiredStatusBits;
  for (const PinRoute& route : kUsbPinMap) {
    const bool high = ((pins >> route.pin) & 1u) != 0;
    if (!route.output && high != route.inverted) {
      status = static_cast<std::uint8_t>(status | route.line);
    }
  }
  return status;
}

int ExactRateAtMost(int wanted, int exactRates) {
  for (int rate = std::max(wanted, 1); rate > 1; --rate) {
    if (exactRates % rate == 0) return rate;
  }
  return 1;
}

const UsbChipModel* UsbChipOf(std::uint16_t product) {
  const auto found = std::find_if(kUsbChips.begin(), kUsbChips.end(),
                                  [&](const UsbChipModel& m) { return m.product == product; });
  return found != kUsbChips.end() ? &*found : nullptr;
}

std::vector<UsbAdapterListing> ListUsbAdapters(FtdiBus& bus) {
  std::vector<UsbAdapterListing> adapters;
  for (const UsbChipModel& model : kUsbChips) {
    for (ChipListing& listing : bus.List(kFtdiVendor, model.product)) {
      adapters.push_back({AdapterName(model, listing), model.product, std::move(listing.serial),
                          std::move(listing.access), listing.bus, listing.address});
    }
  }
  std::stable_sort(
      adapters.begin(), adapters.end(), [](const UsbAdapterListing& a, const UsbAdapterListing& b) {
        return std::pair(a.serial.empty(), a.serial) < std::pair(b.serial.empty(), b.serial);
      });
  return adapters;
}

PortTarget AdapterTarget(const UsbAdapterListing& adapter) {
  const auto place = adapter.serial.empty()
                         ? static_cast<std::uint16_t>(adapter.bus << 8 | adapter.address)
                         : std::uint16_t{0};
  return {0, adapter.name, PortKind::UsbAdapter, adapter.product, adapter.serial, place};
}

PortProblem UsbProblem(const std::string& name, const ChipResult& failure) {
  const auto found = std::find_if(kReasonsOfErrors.begin(), kReasonsOfErrors.end(),
                                  [&](const ReasonOfError& r) { return r.error == failure.error; });
  const PortReason reason = found != kReasonsOfErrors.end() ? found->reason : PortReason::Other;
  return {PortKind::UsbAdapter, reason, name, failure.text};
}

UsbOpenResult OpenUsbAdapter(FtdiBus& bus, const UsbAdapterListing& adapter, Counter& counter,
                             std::uint16_t base) {
  const UsbChipModel* model = UsbChipOf(adapter.product);
  if (model == nullptr) {
    return Refused(adapter.name, {ChipError::IoError, "not a supported chip", 0});
  }
  // Its serial number could not be read, so neither can it be opened: the same cause stands.
  if (!adapter.access.ok()) return Refused(adapter.name, adapter.access);
  FtdiBus::Opened opened = bus.Open(
      {kFtdiVendor, model->product, adapter.serial, adapter.access, adapter.bus, adapter.address});
  if (!opened.chip) return Refused(adapter.name, opened.result);
  auto port =
      std::make_unique<UsbAdapterPort>(std::move(opened.chip), *model, adapter.name, counter, base);
  if (const ChipResult started = port->Start(); !started.ok()) {
    return Refused(adapter.name, started);
  }
  std::string report = port->Report();
  return {std::move(port), ChipError::None, {}, {}, std::move(report)};
}

}  // namespace fennow
