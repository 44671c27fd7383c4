// SPDX-License-Identifier: GPL-3.0-or-later
// A stream through libusb's asynchronous transfers (libusb 1.0.26: libusb_submit_transfer, the
// completion callbacks run from libusb_handle_events_timeout_completed, libusb_cancel_transfer).
// libftdi's own asynchronous read keeps one read pending and submits it again from its callback
// (ftdi_read_data_submit in src/ftdi.c, v1.5): between the two the chip has no read to send in,
// and a full-speed chip streaming 240 k readings a second fills its 128-byte buffer in half a
// millisecond and stops its pins. So several reads stay in flight here.
#include "ports/usb/libftdi/LibusbStream.h"

#include <array>
#include <chrono>
#include <memory>
#include <vector>

#include "ports/usb/PacketData.h"

namespace fennow {

namespace {

constexpr int kReadsInFlight = 4;
// How long the cancelled transfers may take to come back before they are given up on.
constexpr std::chrono::milliseconds kCancelBound{1000};

struct StatusCode {
  libusb_transfer_status status;
  int code;
};

constexpr std::array<StatusCode, 5> kStatusCodes{{
    {LIBUSB_TRANSFER_ERROR, LIBUSB_ERROR_IO},
    {LIBUSB_TRANSFER_TIMED_OUT, LIBUSB_ERROR_TIMEOUT},
    {LIBUSB_TRANSFER_STALL, LIBUSB_ERROR_PIPE},
    {LIBUSB_TRANSFER_NO_DEVICE, LIBUSB_ERROR_NO_DEVICE},
    {LIBUSB_TRANSFER_OVERFLOW, LIBUSB_ERROR_OVERFLOW},
}};

int CodeOf(libusb_transfer_status status) {
  for (const StatusCode& s : kStatusCodes) {
    if (s.status == status) return s.code;
  }
  return LIBUSB_ERROR_OTHER;
}

struct Run {
  std::span<std::uint8_t> back;
  std::size_t packetSize = 0;
  std::size_t got = 0;
  int writeCode = 0;
  int readCode = 0;
  bool writeDone = false;
  bool stopping = false;
  int readsInFlight = 0;

  bool Going() const { return got < back.size() && writeCode == 0 && readCode == 0; }
};

void LIBUSB_CALL ReadDone(libusb_transfer* transfer) {
  Run& run = *static_cast<Run*>(transfer->user_data);
  --run.readsInFlight;
  if (transfer->status == LIBUSB_TRANSFER_COMPLETED) {
    const std::span<const std::uint8_t> raw(transfer->buffer,
                                            static_cast<std::size_t>(transfer->actual_length));
    run.got += TakePacketData(raw, run.packetSize, run.back.subspan(run.got));
    if (!run.stopping && run.Going()) {
      const int code = libusb_submit_transfer(transfer);
      if (code == LIBUSB_SUCCESS) {
        ++run.readsInFlight;
      } else {
        run.readCode = code;
      }
    }
  } else if (transfer->status != LIBUSB_TRANSFER_CANCELLED && run.readCode == 0) {
    run.readCode = CodeOf(transfer->status);
  }
}

void LIBUSB_CALL WriteDone(libusb_transfer* transfer) {
  Run& run = *static_cast<Run*>(transfer->user_data);
  run.writeDone = true;
  if (transfer->status == LIBUSB_TRANSFER_COMPLETED) {
    if (transfer->actual_length != transfer->length) run.writeCode = LIBUSB_ERROR_IO;
  } else if (transfer->status != LIBUSB_TRANSFER_CANCELLED) {
    run.writeCode = CodeOf(transfer->status);
  }
}

void HandleEvents(libusb_context* context) {
  timeval slice{0, 10'000};
  libusb_handle_events_timeout_completed(context, &slice, nullptr);
}

// The transfers, their buffers and what their callbacks fill in, freed only once none is in
// flight any more.
struct Transfers {
  Run run;
  std::array<libusb_transfer*, kReadsInFlight> reads{};
  std::array<std::vector<unsigned char>, kReadsInFlight> buffers;
  libusb_transfer* write = nullptr;

  ~Transfers() {
    for (libusb_transfer* read : reads) libusb_free_transfer(read);
    libusb_free_transfer(write);
  }
};

}  // namespace

StreamOutcome StreamThrough(const StreamEnds& ends, std::span<const std::uint8_t> out,
                            std::span<std::uint8_t> back, int limitMs, int idleMs) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  const std::chrono::milliseconds idle(idleMs);
  auto transfers = std::make_unique<Transfers>();
  Run& run = transfers->run;
  run.back = back;
  run.packetSize = ends.packetSize;
  for (int i = 0; i < kReadsInFlight && run.readCode == 0; ++i) {
    auto& buffer = transfers->buffers[static_cast<std::size_t>(i)];
    buffer.resize(ends.readLength);
    libusb_transfer*& read = transfers->reads[static_cast<std::size_t>(i)];
    read = libusb_alloc_transfer(0);
    if (read == nullptr) {
      run.readCode = LIBUSB_ERROR_NO_MEM;
      break;
    }
    libusb_fill_bulk_transfer(read, ends.handle, ends.inEndpoint, buffer.data(),
                              static_cast<int>(buffer.size()), ReadDone, &run, 0);
    run.readCode = libusb_submit_transfer(read);
    if (run.readCode == LIBUSB_SUCCESS) ++run.readsInFlight;
  }
  transfers->write = libusb_alloc_transfer(0);
  run.writeDone = true;
  if (transfers->write == nullptr) {
    run.writeCode = LIBUSB_ERROR_NO_MEM;
  } else if (run.readCode == 0) {
    // libusb takes the buffer of an OUT transfer as it is and only reads it.
    libusb_fill_bulk_transfer(transfers->write, ends.handle, ends.outEndpoint,
                              const_cast<unsigned char*>(out.data()), static_cast<int>(out.size()),
                              WriteDone, &run, 0);
    run.writeCode = libusb_submit_transfer(transfers->write);
    run.writeDone = run.writeCode != LIBUSB_SUCCESS;
  }
  std::size_t seen = 0;
  for (Clock::time_point lastData = Clock::now(); run.Going();) {
    HandleEvents(ends.context);
    const Clock::time_point now = Clock::now();
    if (run.got != seen) {
      seen = run.got;
      lastData = now;
    }
    if (now >= deadline || now - lastData > idle) break;
  }

  run.stopping = true;
  for (libusb_transfer* read : transfers->reads) {
    if (read != nullptr) libusb_cancel_transfer(read);
  }
  if (!run.writeDone) libusb_cancel_transfer(transfers->write);
  const Clock::time_point bound = Clock::now() + kCancelBound;
  while ((run.readsInFlight > 0 || !run.writeDone) && Clock::now() < bound) {
    HandleEvents(ends.context);
  }
  const StreamOutcome outcome{run.writeCode, run.readCode, run.got};
  // Transfers the kernel never gave back must not be freed under it, nor fill `back` later.
  if (run.readsInFlight > 0 || !run.writeDone) {
    run.back = {};
    static_cast<void>(transfers.release());
  }
  return outcome;
}

}  // namespace fennow
