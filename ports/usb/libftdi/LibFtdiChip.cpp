// SPDX-License-Identifier: GPL-3.0-or-later
// The only file that talks to libftdi: everything else sees the chip through FtdiChip.h.

#include "ports/usb/libftdi/LibFtdiChip.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <string_view>

#include "ports/usb/LibFtdiErrors.h"

namespace fennow {

namespace {

using Context = std::unique_ptr<ftdi_context, decltype(&ftdi_free)>;

Context NewContext() {
  return Context(ftdi_new(), &ftdi_free);
}

std::string ErrorText(ftdi_context* ctx) {
  const char* text = ctx != nullptr ? ftdi_get_error_string(ctx) : nullptr;
  return text != nullptr ? text : "libftdi could not start (libusb_init failed)";
}

// libusb's own answer to opening the device at bus:address, which libftdi's -4 does not pass on.
int OpenCode(libusb_context* usb, std::uint8_t bus, std::uint8_t address) {
  libusb_device** devices = nullptr;
  if (libusb_get_device_list(usb, &devices) < 0) return LIBUSB_ERROR_OTHER;
  int code = LIBUSB_ERROR_NO_DEVICE;
  for (libusb_device** at = devices; *at != nullptr; ++at) {
    if (libusb_get_bus_number(*at) != bus || libusb_get_device_address(*at) != address) continue;
    libusb_device_handle* handle = nullptr;
    code = libusb_open(*at, &handle);
    if (handle != nullptr) libusb_close(handle);
    break;
  }
  libusb_free_device_list(devices, 1);
  return code;
}

bool OnBus(libusb_context* usb, std::uint8_t bus, std::uint8_t address) {
  libusb_device** devices = nullptr;
  if (libusb_get_device_list(usb, &devices) < 0)
    return true;  // cannot tell: not proof of an unplug
  bool found = false;
  for (libusb_device** at = devices; *at != nullptr && !found; ++at) {
    found = libusb_get_bus_number(*at) == bus && libusb_get_device_address(*at) == address;
  }
  libusb_free_device_list(devices, 1);
  return found;
}

class LibFtdiChip final : public FtdiChip {
 public:
  LibFtdiChip(Context ctx, std::uint8_t bus, std::uint8_t address)
      : ctx_(std::move(ctx)), bus_(bus), address_(address) {}
  ~LibFtdiChip() override { Close(); }
  LibFtdiChip(const LibFtdiChip&) = delete;
  LibFtdiChip& operator=(const LibFtdiChip&) = delete;

  ChipResult SetBitMode(std::uint8_t outputs, BitMode mode) override {
    const auto libMode =
        static_cast<unsigned char>(mode == BitMode::SyncBitBang ? BITMODE_SYNCBB : BITMODE_RESET);
    return Checked(FtdiCall::Setting, ftdi_set_bitmode(ctx_.get(), outputs, libMode));
  }
  ChipResult SetRate(int rate) override {
    return Checked(FtdiCall::Setting, ftdi_set_baudrate(ctx_.get(), rate));
  }
  ChipResult SetLatencyTimer(int ms) override {
    return Checked(FtdiCall::Setting,
                   ftdi_set_latency_timer(ctx_.get(), static_cast<unsigned char>(ms)));
  }
  ChipResult DiscardReadBuffer() override {
    return Checked(FtdiCall::Setting, ftdi_tciflush(ctx_.get()));
  }

  ChipResult Write(std::span<const std::uint8_t> bytes) override {
    const int written = ftdi_write_data(ctx_.get(), bytes.data(), static_cast<int>(bytes.size()));
    if (written < 0) return Checked(FtdiCall::Write, written);
    if (static_cast<std::size_t>(written) != bytes.size()) {
      return {ChipError::IoError, "short write", written};
    }
    return {ChipError::None, {}, written};
  }
  ChipResult Read(std::span<std::uint8_t> bytes) override {
    const int read = ftdi_read_data(ctx_.get(), bytes.data(), static_cast<int>(bytes.size()));
    if (read >= 0) return {ChipError::None, {}, read};
    return Checked(FtdiCall::Read, read);
  }
  // libftdi's asynchronous read (ftdi_read_data_submit) keeps one bulk read of the read chunk
  // pending and submits it again from its callback until `back` is full (src/ftdi.c, v1.5). The
  // synchronous write that follows runs libusb's event loop while it waits (libusb 1.0.26's
  // sync.c, sync_transfer_wait_for_completion), so the read's packets come in as the chip sends
  // them; the write itself is held back by the chip whenever its buffer is full.
  ChipResult Stream(std::span<const std::uint8_t> out, std::span<std::uint8_t> back,
                    int limitMs) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    ftdi_transfer_control* read =
        ftdi_read_data_submit(ctx_.get(), back.data(), static_cast<int>(back.size()));
    if (read == nullptr) return {ChipError::IoError, "could not start a USB read", 0};
    timeval now{0, 0};
    const int written = ftdi_write_data(ctx_.get(), out.data(), static_cast<int>(out.size()));
    if (written < 0) {
      ftdi_transfer_data_cancel(read, &now);
      return Checked(FtdiCall::Write, written);
    }
    while (read->completed == 0 && std::chrono::steady_clock::now() < deadline) {
      timeval slice{0, 10'000};
      libusb_handle_events_timeout_completed(ctx_->usb_ctx, &slice, &read->completed);
    }
    if (read->completed == 0) {
      const int got = read->offset;
      ftdi_transfer_data_cancel(read, &now);
      return {ChipError::None, {}, got};
    }
    // The callback ends the read early only when it could not submit it again: the device has
    // gone, or the transfer failed.
    const int status =
        read->transfer != nullptr ? read->transfer->status : LIBUSB_TRANSFER_COMPLETED;
    const int got = ftdi_transfer_data_done(read);
    if (got >= 0 && status == LIBUSB_TRANSFER_COMPLETED) return {ChipError::None, {}, got};
    const int code = status == LIBUSB_TRANSFER_NO_DEVICE   ? LIBUSB_ERROR_NO_DEVICE
                     : status == LIBUSB_TRANSFER_TIMED_OUT ? LIBUSB_ERROR_TIMEOUT
                                                           : LIBUSB_ERROR_IO;
    return ChipResultOf({FtdiCall::Read, code, "usb bulk read failed", LIBUSB_SUCCESS,
                         OnBus(ctx_->usb_ctx, bus_, address_)});
  }
  ChipResult SetReadChunkSize(int bytes) override {
    return Checked(FtdiCall::Setting,
                   ftdi_read_data_set_chunksize(ctx_.get(), static_cast<unsigned>(bytes)));
  }
  // libftdi strips the two status bytes at the start of every packet.
  int PacketPayload() const override { return static_cast<int>(ctx_->max_packet_size) - 2; }

  void Close() override {
    if (!open_) return;
    open_ = false;
    ftdi_set_bitmode(ctx_.get(), 0, BITMODE_RESET);
    ftdi_usb_close(ctx_.get());
  }

 private:
  ChipResult Checked(FtdiCall call, int code) {
    if (code >= 0) return {};
    return ChipResultOf(
        {call, code, ErrorText(ctx_.get()), LIBUSB_SUCCESS, OnBus(ctx_->usb_ctx, bus_, address_)});
  }

  Context ctx_;
  std::uint8_t bus_;
  std::uint8_t address_;
  bool open_ = true;
};

class LibFtdiBus final : public FtdiBus {
 public:
  std::vector<ChipListing> List(std::uint16_t vendor, std::uint16_t product) override {
    std::vector<ChipListing> chips;
    Context ctx = NewContext();
    if (!ctx) return chips;
    ftdi_device_list* list = nullptr;
    if (ftdi_usb_find_all(ctx.get(), &list, vendor, product) > 0) {
      for (ftdi_device_list* node = list; node != nullptr; node = node->next) {
        const std::uint8_t bus = libusb_get_bus_number(node->dev);
        const std::uint8_t address = libusb_get_device_address(node->dev);
        std::array<char, 128> serial{};
        // Reading the serial number opens the device, so it needs the same access as using it.
        const int code = ftdi_usb_get_strings2(ctx.get(), node->dev, nullptr, 0, nullptr, 0,
                                               serial.data(), static_cast<int>(serial.size()));
        const int openCode =
            code == kStringsOpenFailed ? OpenCode(ctx->usb_ctx, bus, address) : LIBUSB_SUCCESS;
        chips.push_back(ListingOf(vendor, product, bus, address, code, serial.data(), openCode));
      }
    }
    ftdi_list_free(&list);
    return chips;
  }

  Opened Open(const ChipListing& chip) override {
    Context ctx = NewContext();
    if (!ctx) return {nullptr, {ChipError::IoError, ErrorText(nullptr), 0}};
    // Give ftdi_sio the chip back when we close it, so that its serial port comes back.
    ctx->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    const int code = ftdi_usb_open_bus_addr(ctx.get(), chip.bus, chip.address);
    if (code < 0) {
      const int openCode = code == kStringsOpenFailed
                               ? OpenCode(ctx->usb_ctx, chip.bus, chip.address)
                               : LIBUSB_SUCCESS;
      return {nullptr, ChipResultOf({FtdiCall::Open, code, ErrorText(ctx.get()), openCode,
                                     OnBus(ctx->usb_ctx, chip.bus, chip.address)})};
    }
    return {std::make_unique<LibFtdiChip>(std::move(ctx), chip.bus, chip.address), {}};
  }
};

}  // namespace

std::unique_ptr<FtdiBus> MakeLibFtdiBus() {
  return std::make_unique<LibFtdiBus>();
}

}  // namespace fennow
