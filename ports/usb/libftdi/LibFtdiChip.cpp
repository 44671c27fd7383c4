// SPDX-License-Identifier: GPL-3.0-or-later
// The only file that talks to libftdi: everything else sees the chip through FtdiChip.h. libftdi
// opens the chip, makes its settings and reads a round trip's reply (ftdi_read_data strips the
// status bytes and passes libusb's code on); writes and streams go through libusb itself, so that
// a failed transfer carries libusb's own code, which tells an unplug (LIBUSB_ERROR_NO_DEVICE)
// where ftdi_write_data's -1 does not. A transfer under way as the chip is pulled out may also
// fail otherwise (LIBUSB_ERROR_IO: the host controller saw its transactions fail before the kernel
// let the device go), and a setting says only libftdi's words: then the handle is asked once more.
#include "ports/usb/libftdi/LibFtdiChip.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <string_view>
#include <thread>

#include "ports/usb/LibFtdiErrors.h"
#include "ports/usb/libftdi/LibusbStream.h"

namespace fennow {

namespace {

using Context = std::unique_ptr<ftdi_context, decltype(&ftdi_free)>;

// libftdi's own timeout for a transfer (usb_write_timeout in ftdi_init).
constexpr unsigned kTransferTimeoutMs = 5000;
// A stream's reads ask for whole packets, at most this much: libftdi 1.5 caps its own read chunk
// at 16 KiB on Linux (ftdi_read_data_set_chunksize in src/ftdi.c).
constexpr int kStreamReadLimit = 16'384;

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

bool InList(libusb_context* usb, std::uint8_t bus, std::uint8_t address) {
  libusb_device** devices = nullptr;
  if (libusb_get_device_list(usb, &devices) < 0) return true;  // cannot tell
  bool found = false;
  for (libusb_device** at = devices; *at != nullptr && !found; ++at) {
    found = libusb_get_bus_number(*at) == bus && libusb_get_device_address(*at) == address;
  }
  libusb_free_device_list(devices, 1);
  return found;
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
    return Checked(ftdi_set_bitmode(ctx_.get(), outputs, libMode));
  }
  ChipResult SetRate(int rate) override { return Checked(ftdi_set_baudrate(ctx_.get(), rate)); }
  ChipResult SetLatencyTimer(int ms) override {
    return Checked(ftdi_set_latency_timer(ctx_.get(), static_cast<unsigned char>(ms)));
  }
  ChipResult GetLatencyTimer(int& ms) override {
    unsigned char latency = 0;
    const ChipResult result = Checked(ftdi_get_latency_timer(ctx_.get(), &latency));
    if (result.ok()) ms = latency;
    return result;
  }
  ChipResult DiscardReadBuffer() override { return Checked(ftdi_tciflush(ctx_.get())); }

  ChipResult Write(std::span<const std::uint8_t> bytes) override {
    int written = 0;
    // libusb only reads the buffer of an OUT transfer.
    const int code =
        libusb_bulk_transfer(ctx_->usb_dev, static_cast<unsigned char>(ctx_->in_ep),
                             const_cast<unsigned char*>(bytes.data()),
                             static_cast<int>(bytes.size()), &written, kTransferTimeoutMs);
    if (code < 0) return TransferFailed(code, kWriteFailed);
    if (static_cast<std::size_t>(written) != bytes.size()) {
      return {ChipError::IoError, "short write", written};
    }
    return {ChipError::None, {}, written};
  }
  ChipResult Read(std::span<std::uint8_t> bytes) override {
    const int read = ftdi_read_data(ctx_.get(), bytes.data(), static_cast<int>(bytes.size()));
    if (read >= 0) return {ChipError::None, {}, read};
    return TransferFailed(read, kReadFailed);
  }
  ChipResult Stream(std::span<const std::uint8_t> out, std::span<std::uint8_t> back, int limitMs,
                    int idleMs) override {
    const auto packet = static_cast<std::size_t>(ctx_->max_packet_size);
    const std::size_t payload = packet - 2;
    const std::size_t packets = (back.size() + payload - 1) / payload;
    const std::size_t readLength =
        std::min(packets, static_cast<std::size_t>(kStreamReadLimit) / packet) * packet;
    const StreamOutcome outcome =
        StreamThrough({ctx_->usb_ctx, ctx_->usb_dev, static_cast<unsigned char>(ctx_->in_ep),
                       static_cast<unsigned char>(ctx_->out_ep), packet, readLength},
                      out, back, limitMs, idleMs);
    if (outcome.writeCode != 0) return TransferFailed(outcome.writeCode, kWriteFailed);
    if (outcome.readCode != 0) return TransferFailed(outcome.readCode, kReadFailed);
    return {ChipError::None, {}, static_cast<int>(outcome.got)};
  }
  ChipResult SetReadChunkSize(int bytes) override {
    return Checked(ftdi_read_data_set_chunksize(ctx_.get(), static_cast<unsigned>(bytes)));
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
  // Whether the device is still there, by its answer to one more request (its status, USB 2.0,
  // 9.4.5): a few tries a little apart, as the kernel may take a moment to let a device go.
  bool Answers() {
    constexpr int kTries = 5;
    for (int i = 0; i < kTries; ++i) {
      std::array<unsigned char, 2> status{};
      const int code =
          libusb_control_transfer(ctx_->usb_dev, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_STATUS, 0,
                                  0, status.data(), status.size(), 1000);
      if (code >= 0) return true;
      if (code == LIBUSB_ERROR_NO_DEVICE) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;  // neither answering nor gone: the failure stands as it came
  }
  ChipResult Checked(int code) {
    if (code >= 0) return {};
    return ChipResultOf(
        {FtdiCall::Setting, code, ErrorText(ctx_.get()), LIBUSB_SUCCESS, Answers()});
  }
  ChipResult TransferFailed(int code, const char* text) {
    const bool answers = code == LIBUSB_ERROR_NO_DEVICE || Answers();
    return ChipResultOf({FtdiCall::Transfer, code, text, LIBUSB_SUCCESS, answers});
  }

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
      // Before any handle is open, only the device list can tell that it has gone.
      return {nullptr, ChipResultOf({FtdiCall::Open, code, ErrorText(ctx.get()), openCode,
                                     InList(ctx->usb_ctx, chip.bus, chip.address)})};
    }
    return {std::make_unique<LibFtdiChip>(std::move(ctx)), {}};
  }
};

}  // namespace

std::unique_ptr<FtdiBus> MakeLibFtdiBus() {
  return std::make_unique<LibFtdiBus>();
}

}  // namespace fennow
