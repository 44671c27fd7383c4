// SPDX-License-Identifier: GPL-3.0-or-later
// The only file that talks to libftdi: everything else sees the chip through FtdiChip.h.

#include "ports/usb/libftdi/LibFtdiChip.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <array>
#include <string_view>

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

// libftdi's words when the device has gone away under a call, whatever the code.
constexpr std::string_view kUnavailable = "USB device unavailable";

ChipResult Failure(ftdi_context* ctx, ChipError error) {
  ChipResult result{error, ErrorText(ctx), 0};
  if (result.text == kUnavailable) result.error = ChipError::NotFound;
  return result;
}

ChipResult Check(ftdi_context* ctx, int code) {
  return code < 0 ? Failure(ctx, ChipError::IoError) : ChipResult{};
}

// ftdi_usb_open_desc's codes, as the causes a user can act on. Its -3 is either "device not
// found" or a configuration that another driver holds; its -4 (libusb_open failed) is in practice
// a device node the user may not open.
struct OpenCode {
  int code;
  ChipError error;
};
constexpr std::array<OpenCode, 4> kOpenCodes{{
    {-3, ChipError::NotFound},
    {-4, ChipError::PermissionDenied},
    {-5, ChipError::Busy},
    {-8, ChipError::PermissionDenied},
}};

ChipResult OpenFailure(ftdi_context* ctx, int code) {
  const auto found = std::find_if(kOpenCodes.begin(), kOpenCodes.end(),
                                  [&](const OpenCode& c) { return c.code == code; });
  ChipResult result = Failure(ctx, found != kOpenCodes.end() ? found->error : ChipError::IoError);
  if (code == -3 && result.text.find("not found") == std::string::npos) {
    result.error = ChipError::Busy;
  }
  return result;
}

class LibFtdiChip final : public FtdiChip {
 public:
  explicit LibFtdiChip(Context ctx) : ctx_(std::move(ctx)) {}
  ~LibFtdiChip() override { Close(); }
  LibFtdiChip(const LibFtdiChip&) = delete;
  LibFtdiChip& operator=(const LibFtdiChip&) = delete;

  ChipResult SetBitMode(std::uint8_t outputs, BitMode mode) override {
    const auto libMode =
        static_cast<unsigned char>(mode == BitMode::SyncBitBang ? BITMODE_SYNCBB : BITMODE_RESET);
    return Check(ctx_.get(), ftdi_set_bitmode(ctx_.get(), outputs, libMode));
  }
  ChipResult SetRate(int rate) override {
    return Check(ctx_.get(), ftdi_set_baudrate(ctx_.get(), rate));
  }
  ChipResult SetLatencyTimer(int ms) override {
    return Check(ctx_.get(), ftdi_set_latency_timer(ctx_.get(), static_cast<unsigned char>(ms)));
  }
  ChipResult DiscardReadBuffer() override { return Check(ctx_.get(), ftdi_tciflush(ctx_.get())); }

  ChipResult Write(std::span<const std::uint8_t> bytes) override {
    const int written = ftdi_write_data(ctx_.get(), bytes.data(), static_cast<int>(bytes.size()));
    if (written < 0) return Failure(ctx_.get(), ChipError::IoError);
    if (static_cast<std::size_t>(written) != bytes.size()) {
      return {ChipError::IoError, "short write", written};
    }
    return {ChipError::None, {}, written};
  }
  ChipResult Read(std::span<std::uint8_t> bytes) override {
    const int read = ftdi_read_data(ctx_.get(), bytes.data(), static_cast<int>(bytes.size()));
    if (read >= 0) return {ChipError::None, {}, read};
    // A failed read passes libusb's own code on; the device being gone is the one that matters.
    ChipResult failure = Failure(ctx_.get(), ChipError::IoError);
    if (read == LIBUSB_ERROR_NO_DEVICE) failure.error = ChipError::NotFound;
    if (read > -100) failure.text += std::string(": ") + libusb_error_name(read);
    return failure;
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
  Context ctx_;
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
        ChipListing chip{vendor, product, {}, {}};
        std::array<char, 128> serial{};
        // Reading the serial number opens the device, so it needs the same access as using it.
        const int code = ftdi_usb_get_strings2(ctx.get(), node->dev, nullptr, 0, nullptr, 0,
                                               serial.data(), static_cast<int>(serial.size()));
        if (code == 0) {
          chip.serial = serial.data();
        } else {
          chip.access =
              Failure(ctx.get(), code == -4 ? ChipError::PermissionDenied : ChipError::IoError);
        }
        chips.push_back(std::move(chip));
      }
    }
    ftdi_list_free(&list);
    return chips;
  }

  Opened Open(std::uint16_t vendor, std::uint16_t product, const std::string& serial) override {
    Context ctx = NewContext();
    if (!ctx) return {nullptr, Failure(nullptr, ChipError::IoError)};
    // Give ftdi_sio the chip back when we close it, so that its serial port comes back.
    ctx->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    // A chip without a serial number cannot be told by it: take the first with these IDs.
    const int code = ftdi_usb_open_desc(ctx.get(), vendor, product, nullptr,
                                        serial.empty() ? nullptr : serial.c_str());
    if (code < 0) return {nullptr, OpenFailure(ctx.get(), code)};
    return {std::make_unique<LibFtdiChip>(std::move(ctx)), {}};
  }
};

}  // namespace

std::unique_ptr<FtdiBus> MakeLibFtdiBus() {
  return std::make_unique<LibFtdiBus>();
}

}  // namespace fennow
