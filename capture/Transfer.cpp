#include "capture/Transfer.h"

#include <string>

#include "link/SerialLink.h"

namespace fennow {

namespace {

constexpr std::int32_t kByteSpacingMs = 2;
constexpr std::int32_t kBeforeModeMs = 1000;
constexpr std::int32_t kAfterModeMs = 500;
constexpr int kTileRows = kScreenHeight / 8;    // 18
constexpr int kTileColumns = kScreenWidth / 8;  // 20
constexpr const char* kTitle = "Transfer Status";

// Runs the request loop; on success the Game Boy has answered 'W' to our 'G'.
TransferStatus Request(LinkSession& link, WindowServices& ui) {
  int status = Success;
  std::uint8_t reply = 0;  // anything but 'W' until a reply arrives
  for (int attempt = 0;; ++attempt) {
    status = SyncLink(link);
    if (status == Success) reply = ExchangeByte(link, kRequestByte);
    if (ui.KeyPressed()) status = KeyExit;
    // The sixth attempt only ever ends the transfer, whatever it brought.
    if (attempt == kMaxRequestAttempts - 1) status = SyncTimeout;
    if (reply == kReadyReply && status == Success) return Success;
    if (status != Success) return static_cast<TransferStatus>(status);
  }
}

// A payload byte, then the pause the Game Boy needs before it can present the next.
std::uint8_t ReceiveByte(LinkSession& link) {
  const std::uint8_t byte = ExchangeByte(link, 0);
  link.delay.DelayMilliseconds(kByteSpacingMs);
  return byte;
}

TransferStatus ReceiveScreen(LinkSession& link, WindowServices& ui, CaptureStore& store) {
  ui.SetLamp(ScreenLamp, true);
  for (int r = 0; r < kTileRows; ++r) {
    for (int c = 0; c < kTileColumns; ++c) {
      for (int l = 0; l < 8; ++l) {
        const std::uint8_t b = ReceiveByte(link);
        store.CaptureBuffer[static_cast<std::size_t>(ScreenSlot(8 * r + l, c))] = b ^ 0xFF;
        if (ui.KeyPressed()) {
          ui.SetProgress(6 * kTileRows);
          return KeyExit;
        }
      }
    }
    ui.SetProgress(6 * r);
  }
  ui.ShowMessage("Screen Transfer Successful", kTitle, MB_OK);
  return Success;
}

TransferStatus ReceiveData(LinkSession& link, WindowServices& ui, CaptureStore& store) {
  ui.SetLamp(DataLamp, true);
  for (int j = 0; j < kDataBytes; ++j) {
    store.CaptureBuffer[static_cast<std::size_t>(j)] = ReceiveByte(link);
    if (ui.KeyPressed()) {
      ui.SetProgress(kDataBytes / 10);
      return KeyExit;
    }
    ui.SetProgress(j / 10);
  }
  ui.ShowMessage("Data Transfer Successful", kTitle, MB_OK);
  return Success;
}

const char* FailureText(TransferStatus status) {
  switch (status) {
    case SyncTimeout:
      return "Serial Sync Timeout";
    case KeyExit:
      return "Key Exit";
    default:
      return "Serial Acknowledge Error";
  }
}

}  // namespace

TransferStatus StartTransfer(LinkSession& link, WindowServices& ui, CaptureStore& store) {
  for (Lamp lamp : {SyncLamp, ScreenLamp, DataLamp, ErrorLamp}) ui.SetLamp(lamp, false);
  ui.SetProgress(0);

  TransferStatus status = Request(link, ui);
  std::uint8_t mode = 0;
  if (status == Success) {
    ui.SetLamp(SyncLamp, true);
    link.delay.DelayMilliseconds(kBeforeModeMs);
    mode = ExchangeByte(link, 0);
    link.delay.DelayMilliseconds(kAfterModeMs);
    if (mode == kModeScreen) {
      status = ReceiveScreen(link, ui, store);
    } else if (mode == kModeData) {
      status = ReceiveData(link, ui, store);
    } else {
      status = AcknowledgeError;
    }
  }
  if (status != Success) ui.ShowMessage(FailureText(status), kTitle, MB_ICONSTOP);

  ui.SetProgress(0);
  ui.SetLamp(SyncLamp, false);
  if (status == Success) {
    store.Kind = static_cast<CaptureKind>(mode);
  } else {
    store.Kind = CaptureKind::None;
    ui.SetLamp(ErrorLamp, true);
  }
  return status;
}

}  // namespace fennow
