// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/Transfer.h"

#include <ctime>
#include <string>

#include "link/ByteExchange.h"
#include "link/Protocol.h"

namespace fennow {

namespace {

constexpr const char* kTitle = "Transfer Status";

// A port that can vanish (a USB adapter) is asked after every byte, beside the key poll.
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

// A payload byte, then the pause the Game Boy needs before it can present the next.
std::uint8_t ReceiveByte(LinkSession& link) {
  const std::uint8_t byte = ExchangeByte(link, kIdleByte);
  link.delay.DelayMilliseconds(kByteSpacingMs);
  return byte;
}

TransferStatus ReceiveScreen(LinkSession& link, WindowServices& ui, CaptureStore& store,
                             bool& overwritten) {
  ui.SetLamp(Lamp::ScreenLamp, true);
  for (int r = 0; r < kTileRows; ++r) {
    for (int c = 0; c < kTileColumns; ++c) {
      for (int l = 0; l < kTileSide; ++l) {
        const std::uint8_t b = ReceiveByte(link);
        if (PortLost(link)) return TransferStatus::PortLost;  // b never came: keep the slot
        store.CaptureBuffer[static_cast<std::size_t>(ScreenSlot(kTileSide * r + l, c))] = b ^ 0xFF;
        overwritten = true;
        if (ui.KeyPressed()) {
          ui.SetProgress(kProgressPerTileRow * kTileRows);
          return TransferStatus::KeyExit;
        }
      }
    }
    ui.SetProgress(kProgressPerTileRow * r);
  }
  ui.ShowMessage("Screen Transfer Successful", kTitle, MessageStyle::MB_OK);
  return TransferStatus::Success;
}

TransferStatus ReceiveData(LinkSession& link, WindowServices& ui, CaptureStore& store,
                           bool& overwritten) {
  ui.SetLamp(Lamp::DataLamp, true);
  for (int j = 0; j < kDataBytes; ++j) {
    const std::uint8_t b = ReceiveByte(link);
    if (PortLost(link)) return TransferStatus::PortLost;  // b never came: keep the slot
    store.CaptureBuffer[static_cast<std::size_t>(j)] = b;
    overwritten = true;
    if (ui.KeyPressed()) {
      ui.SetProgress(kDataBytes / kDataBytesPerProgressStep);
      return TransferStatus::KeyExit;
    }
    ui.SetProgress(j / kDataBytesPerProgressStep);
  }
  ui.ShowMessage("Data Transfer Successful", kTitle, MessageStyle::MB_OK);
  return TransferStatus::Success;
}

std::string FailureText(TransferStatus status, const LinkSession& link) {
  switch (status) {
    case TransferStatus::SyncTimeout:
      return "Serial Sync Timeout";
    case TransferStatus::KeyExit:
      return "Key Exit";
    case TransferStatus::PortLost:
      return std::string(kPortLostText) + link.lines.LostReason();
    default:
      return "Serial Acknowledge Error";
  }
}

}  // namespace

TransferStatus StartTransfer(LinkSession& link, WindowServices& ui, CaptureStore& store) {
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
  if (status != TransferStatus::Success)
    ui.ShowMessage(FailureText(status, link), kTitle, MessageStyle::MB_ICONSTOP);

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
