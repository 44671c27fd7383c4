// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/usb/AdapterPort.h"

#include <algorithm>
#include <array>
#include <functional>
#include <string_view>
#include <utility>

#include "ports/usb/RateMeasurement.h"
#include "ports/usb/Wording.h"

namespace fennow {

namespace {

// Both reference drivers of synchronous bit-bang run the latency timer at 1 ms: with the default
// 16 ms every partly filled reply would wait that long.
constexpr int kLatencyTimerMs = 1;

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

}  // namespace

void UsbAdapterPort::Lose(const ChipResult& failure) {
  if (!lost_.empty()) return;
  lostCause_ = failure;
  lost_ = DescribeLoss(name_, failure);
}

UsbAdapterPort::~UsbAdapterPort() {
  if (foundLatencyMs_ > 0 && lostCause_.error != ChipError::NotFound) {
    chip_->SetLatencyTimer(foundLatencyMs_);
  }
  chip_->Close();
}

ChipResult UsbAdapterPort::Start() {
  // In this order: libftdi scales the rate only once bit-bang mode is on, and the mode change
  // may leave stale bytes behind.
  const std::array<std::function<ChipResult()>, 7> steps{
      [this] { return chip_->GetLatencyTimer(foundLatencyMs_); },
      [this] { return chip_->SetLatencyTimer(kLatencyTimerMs); },
      [this] { return chip_->SetBitMode(UsbOutputPins(), BitMode::SyncBitBang); },
      [this] { return chip_->SetRate(kMeasureRate); },
      [this] { return chip_->DiscardReadBuffer(); },
      [this] {
        return MeasurePinRate(*chip_, delay_.counter(), model_, PinsForData(data_), pinRate_);
      },
      [this] { return chip_->SetRate(model_.rate); },
  };
  for (const auto& step : steps) {
    if (ChipResult result = step(); !result.ok()) {
      lostCause_ = result;
      return result;
    }
  }
  rate_ = model_.rate;
  const auto wanted = static_cast<int>(std::min<double>(
      model_.rate, static_cast<double>(kStreamUpdates) / (pinRate_.taken * kMeasureMargin)));
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
  return lost_.empty() ? NsSince(delay_.counter(), start) : -1;
}

std::string UsbAdapterPort::Report() const {
  return Fixed(pinRate_.taken * model_.rate / 1e6, 2) + " M pin updates a second (" +
         Fixed(pinRate_.taken, 0) + " per unit of rate " + std::to_string(model_.rate) +
         ", measured " + Fixed(pinRate_.measured, 1) + "), a round trip " +
         Fixed(static_cast<double>(roundTripNs_) / 1e6, 2) + " ms; payloads stream at " +
         Fixed(pinRate_.taken * streamRate_ / 1e6, 2) + " M (rate " + std::to_string(streamRate_) +
         ")";
}

void UsbAdapterPort::Write(std::uint16_t, std::uint8_t value) {
  if (!lost_.empty()) return;
  data_ = value;
  PinBatch batch{{PinsForData(data_)}, {}};
  LineSamples none;
  Flush(batch, none);
}

std::uint8_t UsbAdapterPort::Read(std::uint16_t) {
  // The pins as they stand, read just before the same value is put out once more.
  PinBatch batch{{PinsForData(data_)}, {0}};
  LineSamples status;
  Flush(batch, status);
  return status.front();
}

bool UsbAdapterPort::RunScript(const LineScript& script, const LinkPort& port,
                               LineSamples& samples) {
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
  // The pins take the planned time, or up to the margin longer. A host or bus that cannot keep
  // up holds the pins back, which only lengthens the pauses: a stream is given up only when
  // nothing has come back for kStreamIdleMs, or it has taken four times its pins' time.
  const auto pinsMs = static_cast<std::int64_t>(out.size()) * 1000 / perSecond;
  const auto limitMs = 4 * pinsMs + kStreamIdleMs;
  Counter& clock = delay_.counter();
  const std::int64_t start = clock.Count();
  const ChipResult streamed =
      chip_->Stream(out, back, static_cast<int>(limitMs), static_cast<int>(kStreamIdleMs));
  if (!streamed.ok()) {
    Lose(streamed);
  } else if (static_cast<std::size_t>(streamed.count) != out.size()) {
    Lose({ChipError::IoError, ShortReply(static_cast<std::size_t>(streamed.count), out.size(),
                                         NsSince(clock, start) / 1'000'000)});
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

}  // namespace fennow
