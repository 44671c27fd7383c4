// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

// USB/IP's messages between the kernel's vhci-hcd and a device server, as the kernel's
// Documentation/usb/usbip_protocol.rst and drivers/usb/usbip/usbip_common.h lay them out: a
// 48-byte header of big-endian words, the setup packet as it goes over USB, then the data of an
// OUT transfer (with CMD_SUBMIT) or an IN one (with RET_SUBMIT).
namespace fennow::usbip {

enum class Command : std::uint32_t {
  Submit = 1,
  Unlink = 2,
  SubmitReply = 3,
  UnlinkReply = 4,
};

inline constexpr std::size_t kHeaderSize = 48;
inline constexpr std::uint32_t kDirectionIn = 1;

// The statuses a reply gives, as the kernel's errno values.
inline constexpr std::int32_t kStalled = -32;    // -EPIPE
inline constexpr std::int32_t kOverflow = -75;   // -EOVERFLOW
inline constexpr std::int32_t kUnlinked = -104;  // -ECONNRESET

struct Header {
  Command command = Command::Submit;
  std::uint32_t seqnum = 0;
  std::uint32_t devid = 0;
  std::uint32_t direction = 0;
  std::uint32_t endpoint = 0;
  // CMD_SUBMIT: transfer_buffer_length; CMD_UNLINK: the seqnum of the submit to cancel.
  std::uint32_t length = 0;
  std::array<std::uint8_t, 8> setup{};
};

inline std::uint32_t Word(const std::uint8_t* at) {
  return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 |
         at[3];
}

inline void PutWord(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// CMD_SUBMIT's fields after the basic header: transfer_flags, transfer_buffer_length,
// start_frame, number_of_packets, interval, setup. CMD_UNLINK's: the seqnum to unlink.
inline Header ParseHeader(const std::uint8_t* at) {
  Header h;
  h.command = static_cast<Command>(Word(at));
  h.seqnum = Word(at + 4);
  h.devid = Word(at + 8);
  h.direction = Word(at + 12);
  h.endpoint = Word(at + 16);
  h.length = h.command == Command::Unlink ? Word(at + 20) : Word(at + 24);
  std::memcpy(h.setup.data(), at + 40, h.setup.size());
  return h;
}

// RET_SUBMIT (status, actual_length, then start_frame, number_of_packets and error_count, all 0
// for bulk and control) or RET_UNLINK (status), with the IN data after it.
inline std::vector<std::uint8_t> Reply(Command command, std::uint32_t seqnum, std::int32_t status,
                                       const std::vector<std::uint8_t>& data = {},
                                       std::uint32_t actual = 0) {
  std::vector<std::uint8_t> reply(kHeaderSize, 0);
  PutWord(reply.data(), static_cast<std::uint32_t>(command));
  PutWord(reply.data() + 4, seqnum);
  PutWord(reply.data() + 20, static_cast<std::uint32_t>(status));
  if (command == Command::SubmitReply) {
    PutWord(reply.data() + 24, data.empty() ? actual : static_cast<std::uint32_t>(data.size()));
  }
  reply.insert(reply.end(), data.begin(), data.end());
  return reply;
}

}  // namespace fennow::usbip
