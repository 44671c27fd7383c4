// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/Transfer.h"

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "link/ByteExchange.h"
#include "link/Delay.h"
#include "link/Protocol.h"

namespace fennow {

namespace {

constexpr const char* kTitle = "Transfer Status";

// Whether the port failed or went away; asked after each request attempt, the mode byte and each
// run of payload bytes, beside the key poll.
bool PortLost(const LinkSession& link) {
  return !link.lines.LostReason().empty();
}

// Runs the request loop; on success the Game Boy has answered 'W' to our 'G'.
TransferStatus Request(LinkSession& link, WindowServices& ui) {
  std::uint8_t reply = 0;  // anything but 'W' until a reply arrives
  for (int attempt = 0;; ++attempt) {
    TransferStatus status = TransferStatus::Success;
    if (SyncLink(link)) {
      reply = ExchangeByte(link, kRequestByte);
    } else {
      status = TransferStatus::SyncTimeout;
    }
    if (ui.KeyPressed()) status = TransferStatus::KeyExit;
    // The sixth attempt only ever ends the transfer, whatever it brought.
    if (attempt == kMaxRequestAttempts - 1) status = TransferStatus::SyncTimeout;
    if (PortLost(link)) status = TransferStatus::PortLost;
    if (status != TransferStatus::Success) return status;
    if (reply == kReadyReply) return TransferStatus::Success;
  }
}

// How many payload bytes go to the port at a time: one, each followed by the key poll and the
// port check, on a port that performs scripts step by step; a tile row (a third of a second) on
// a port that streams, which then keeps every pause at the lines instead of waiting a round trip
// for each byte. Either way a tile row is a whole number of runs.
int RunBytes(const LinkSession& link) {
  return link.lines.QueuesAhead() ? kTileRowBytes : 1;
}

// Where the i-th byte of a screen goes: the screen comes as tile rows of tiles of pixel rows.
std::size_t ScreenSlotOfByte(int i) {
  const int tileRow = i / kTileRowBytes;
  const int column = i / kTileSide % kTileColumns;
  const int line = i % kTileSide;
  return static_cast<std::size_t>(ScreenSlot(kTileSide * tileRow + line, column));
}

// A payload of `total` bytes, stored through `store` (byte index, byte) as each run arrives;
// `progress` is told the index of the last byte of each run. A lost port leaves the slots of the
// run under way as they were, since their bytes never came.
template <typename Store, typename Progress>
TransferStatus ReceivePayload(LinkSession& link, WindowServices& ui, int total,
                              std::int32_t keyExitProgress, bool& overwritten, Store store,
                              Progress progress) {
  const int run = RunBytes(link);
  std::vector<std::uint8_t> bytes;
  for (int first = 0; first < total; first += run) {
    const int count = std::min(run, total - first);
    ReceiveBytes(link, count, bytes);
    if (PortLost(link)) return TransferStatus::PortLost;
    for (int k = 0; k < count; ++k) store(first + k, bytes[static_cast<std::size_t>(k)]);
    overwritten = true;
    if (ui.KeyPressed()) {
      ui.SetProgress(keyExitProgress);
      return TransferStatus::KeyExit;
    }
    progress(first + count - 1);
  }
  return TransferStatus::Success;
}

TransferStatus ReceiveScreen(LinkSession& link, WindowServices& ui, CaptureStore& store,
                             bool& overwritten) {
  ui.SetLamp(Lamp::ScreenLamp, true);
  const TransferStatus status = ReceivePayload(
      link, ui, kScreenBytes, kProgressPerTileRow * kTileRows, overwritten,
      [&](int i, std::uint8_t b) { store.CaptureBuffer[ScreenSlotOfByte(i)] = b ^ 0xFF; },
      [&](int last) {
        if ((last + 1) % kTileRowBytes == 0) {
          ui.SetProgress(kProgressPerTileRow * (last / kTileRowBytes));
        }
      });
  if (status != TransferStatus::Success) return status;
  ui.ShowMessage("Screen Transfer Successful", kTitle, MessageStyle::MB_OK);
  return TransferStatus::Success;
}

TransferStatus ReceiveData(LinkSession& link, WindowServices& ui, CaptureStore& store,
                           bool& overwritten) {
  ui.SetLamp(Lamp::DataLamp, true);
  const TransferStatus status = ReceivePayload(
      link, ui, kDataBytes, kDataBytes / kDataBytesPerProgressStep, overwritten,
      [&](int j, std::uint8_t b) { store.CaptureBuffer[static_cast<std::size_t>(j)] = b; },
      [&](int last) { ui.SetProgress(last / kDataBytesPerProgressStep); });
  if (status != TransferStatus::Success) return status;
  ui.ShowMessage("Data Transfer Successful", kTitle, MessageStyle::MB_OK);
  return TransferStatus::Success;
}

std::string FailureText(TransferStatus status) {
  switch (status) {
    case TransferStatus::SyncTimeout:
      return "Serial Sync Timeout";
    case TransferStatus::KeyExit:
      return "Key Exit";
    default:
      return "Serial Acknowledge Error";
  }
}

}  // namespace

TransferStatus StartTransfer(LinkSession& link, WindowServices& ui, CaptureStore& store) {
  const FrontEndWaits waits(link.delay, ui);
  for (Lamp lamp : {Lamp::SyncLamp, Lamp::ScreenLamp, Lamp::DataLamp, Lamp::ErrorLamp})
    ui.SetLamp(lamp, false);
  ui.SetProgress(0);

  TransferStatus status = Request(link, ui);
  std::uint8_t mode = 0;
  // Set by the payload loops with the first slot they store: from then on the capture held
  // before is no longer whole.
  bool overwritten = false;
  if (status == TransferStatus::Success) {
    ui.SetLamp(Lamp::SyncLamp, true);
    link.delay.DelayMilliseconds(kBeforeModeMs);
    mode = ExchangeByte(link, kIdleByte);
    link.delay.DelayMilliseconds(kAfterModeMs);
    if (PortLost(link)) {
      status = TransferStatus::PortLost;
    } else if (mode == kModeScreen) {
      status = ReceiveScreen(link, ui, store, overwritten);
    } else if (mode == kModeData) {
      status = ReceiveData(link, ui, store, overwritten);
    } else {
      status = TransferStatus::AcknowledgeError;
    }
  }
  if (status == TransferStatus::PortLost) {
    ShowPortLost(ui, link.lines.LostReason());
  } else if (status != TransferStatus::Success) {
    ui.ShowMessage(FailureText(status), kTitle, MessageStyle::MB_ICONSTOP);
  }

  ui.SetProgress(0);
  ui.SetLamp(Lamp::SyncLamp, false);
  if (status == TransferStatus::Success) {
    store.Kind = static_cast<CaptureKind>(mode);
    store.CapturedAt = static_cast<std::int64_t>(std::time(nullptr));
  } else {
    // A failure before the payload leaves the buffer as it was: the capture in it can still be
    // saved. Once a slot is overwritten, nothing in the buffer is one capture any more.
    if (overwritten) store.Kind = CaptureKind::None;
    ui.SetLamp(Lamp::ErrorLamp, true);
  }
  return status;
}

}  // namespace fennow
