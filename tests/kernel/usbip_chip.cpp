// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated FTDI chips served over USB/IP to the kernel the guest runs, for
// scripts/check-kernel: an FT232R with a serial number on vhci-hcd's port 0 (full speed) and an
// FT232H without one on port 1 (high speed), each with the simulated Game Boy behind its pins. Each
// is attached as the usbip tool attaches a device: a connected TCP socket on loopback, its
// descriptor written with the port, a device id and the speed to
// /sys/devices/platform/vhci_hcd.0/attach. From there the kernel enumerates it as a board plugged
// in, and the guest's ftdi_sio, usbfs, libusb and libftdi are the real ones; only the chip
// (sim/SimulatedChip, the one the tests use) is simulated. It runs on the real clock: what it says
// about timing is on its own pin clock, which counts updates.
//   fennow-usbip-chip CONTROL RESULTS
// CONTROL is read whenever it changes: each line "NAME CHIP MODE LEAD UNPLUG" starts a session on
// the chip "R" or "H", with a fresh Game Boy (GuestGameBoy.h: MODE screen, data or off; LEAD
// gameboy, loop or stuck), to be unplugged (its vhci port detached) at UNPLUG: "measure" (the rate
// measurement when it is opened), "sync", "mode" (the mode byte), "payload", "lead" (the lead test)
// or "-". An unplugged chip is plugged in again a second later. When a session ends, one line goes
// to RESULTS: its transfers and what the Game Boy saw (TimingLine).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <deque>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimulatedChip.h"
#include "tests/kernel/GuestGameBoy.h"
#include "tests/kernel/UsbIpWire.h"

namespace fennow {
namespace {

using usbip::Command;

constexpr const char* kVhci = "/sys/devices/platform/vhci_hcd.0/";
constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kReplugNs = 1000 * kMs;
// How far back a late Service goes through the time it missed.
constexpr std::int64_t kCatchUpNs = 1000 * kMs;

// Where a session's unplug falls, counted from its start: in bytes put out at the pins (the
// measurement at open holds the lines), in rising edges of the clock (the Game Boy answers after
// eight synchronisation clocks; then come the request, the mode byte and the payload) or of the
// lead test's loop drive.
enum class Count : std::uint8_t { Bytes, Clock, LoopDrive };
struct UnplugPoint {
  const char* phase;
  Count count;
  std::uint64_t after;
};
constexpr std::array<UnplugPoint, 5> kUnplugPoints{{
    {"measure", Count::Bytes, 300},
    {"sync", Count::Clock, 3},
    {"mode", Count::Clock, 8 + 8 + 4},
    {"payload", Count::Clock, 8 + 8 * (2 + 500) + 4},
    {"lead", Count::LoopDrive, 2},
}};

volatile std::sig_atomic_t stopping = 0;

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  out.flush();
  return static_cast<bool>(out);
}

// The lead's far end: the Game Boy of the session, or nothing plugged in.
class FarEnd final : public PortIo {
 public:
  void Write(std::uint16_t address, std::uint8_t value) override {
    if (gameBoy) gameBoy->Write(address, value);
  }
  std::uint8_t Read(std::uint16_t address) override {
    return gameBoy ? gameBoy->Read(address) : std::uint8_t{0xFF};
  }
  std::unique_ptr<SimulatedGameBoy> gameBoy;
};

struct OutUrb {
  std::uint32_t seqnum;
  std::vector<std::uint8_t> data;
  std::size_t taken = 0;
};

struct InUrb {
  std::uint32_t seqnum;
  std::size_t length;
  std::vector<std::uint8_t> data;
};

// What one session of a chip did over USB: its transfers, and of the bulk writes those that
// changed the lines (a transfer's round trips and streams; an open's measurement and reads of the
// pins hold them).
struct Session {
  std::string name = "start";
  std::uint64_t control = 0, out = 0, changing = 0, in = 0;
  std::uint64_t stallsBefore = 0;  // the chip's count of its pins' stalls when it began
  bool unplugged = false;
};

class Attachment {
 public:
  Attachment(const char* key, int port, int speed, std::uint16_t product, std::string serial)
      : key_(key), port_(port), speed_(speed) {
    setup_.product = product;
    setup_.serial = std::move(serial);
    setup_.farEnd = &far_;
  }

  const std::string& Key() const { return key_; }
  int Fd() const { return fd_; }

  bool Attach(std::int64_t now) {
    // The serial port's idle lines at plugging in are no part of the link's timing.
    if (far_.gameBoy) far_.gameBoy->SetRecording(false);
    chip_.PowerUp(now);
    int pair[2] = {-1, -1};
    if (!ConnectedPair(pair)) return false;
    const int one = 1;
    for (const int fd : pair) setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const std::uint32_t devid = 1u << 16 | static_cast<std::uint32_t>(port_ + 2);
    const std::string attach = std::to_string(port_) + " " + std::to_string(pair[0]) + " " +
                               std::to_string(devid) + " " + std::to_string(speed_);
    const bool attached = WriteFile(std::string(kVhci) + "attach", attach);
    close(pair[0]);  // the kernel holds its own reference now
    if (!attached) {
      close(pair[1]);
      std::fprintf(stderr, "usbip-chip: %s: attach \"%s\" refused\n", key_.c_str(), attach.c_str());
      return false;
    }
    fd_ = pair[1];
    fcntl(fd_, F_SETFL, O_NONBLOCK);
    std::fprintf(stderr, "usbip-chip: %s attached on port %d\n", key_.c_str(), port_);
    return true;
  }

  void StartSession(const std::string& name, const std::string& mode, const std::string& lead,
                    const std::string& unplug, std::FILE* results) {
    EndSession(results);
    session_ = Session{name};
    session_.stallsBefore = chip_.Stalls();
    far_.gameBoy = kernel::PlayingGameBoy(mode, lead, [this] { return chip_.PinTimeNs(); });
    chip_.ClearRecords();
    SimulatedAdapterFaults& faults = setup_.faults;
    faults = {};
    for (const UnplugPoint& point : kUnplugPoints) {
      if (unplug != point.phase) continue;
      switch (point.count) {
        case Count::Bytes:
          faults.unplugAfterBytes = static_cast<std::int64_t>(chip_.BytesOut() + point.after);
          break;
        case Count::Clock:
          faults.unplugAtClockPulse = chip_.ClockPulses() + point.after;
          break;
        case Count::LoopDrive:
          faults.unplugAtLoopDrive = chip_.LoopDrives() + point.after;
          break;
      }
    }
  }

  void EndSession(std::FILE* results) {
    if (session_.name == "start") return;
    std::fprintf(results,
                 "%s chip=%s control=%llu out=%llu changing=%llu in=%llu stalls=%llu "
                 "unplugged=%d %s\n",
                 session_.name.c_str(), key_.c_str(),
                 static_cast<unsigned long long>(session_.control),
                 static_cast<unsigned long long>(session_.out),
                 static_cast<unsigned long long>(session_.changing),
                 static_cast<unsigned long long>(session_.in),
                 static_cast<unsigned long long>(chip_.Stalls() - session_.stallsBefore),
                 session_.unplugged ? 1 : 0,
                 far_.gameBoy ? kernel::TimingLine(*far_.gameBoy).c_str() : "edges=0");
    std::fflush(results);
    session_.name = "start";
  }

  // Takes what came over the socket; false once the kernel has closed it.
  bool Receive(std::int64_t now) {
    std::uint8_t buffer[65536];
    for (;;) {
      const ssize_t got = read(fd_, buffer, sizeof buffer);
      if (got > 0) {
        inbox_.insert(inbox_.end(), buffer, buffer + got);
        continue;
      }
      if (got == 0) return false;
      break;  // EAGAIN: all read
    }
    while (inbox_.size() >= usbip::kHeaderSize) {
      const usbip::Header h = usbip::ParseHeader(inbox_.data());
      const bool carriesData = h.command == Command::Submit && h.direction != usbip::kDirectionIn;
      const std::size_t size = usbip::kHeaderSize + (carriesData ? h.length : 0);
      if (inbox_.size() < size) break;
      std::vector<std::uint8_t> data(inbox_.begin() + usbip::kHeaderSize,
                                     inbox_.begin() + static_cast<std::ptrdiff_t>(size));
      inbox_.erase(inbox_.begin(), inbox_.begin() + static_cast<std::ptrdiff_t>(size));
      if (h.command == Command::Submit) Submit(h, std::move(data), now);
      if (h.command == Command::Unlink) Unlink(h);
    }
    return true;
  }

  // Moves what the chip takes and gives up to now; an unplugged chip is detached. A host
  // controller asks for packets all the time a transfer is pending, whenever this process gets to
  // run: so the time since it last ran is gone through a packet's worth of updates at a time, as
  // if it had been there throughout.
  void Service(std::int64_t now) {
    if (fd_ < 0) {
      if (now >= replugAt_ && Attach(now)) replugAt_ = 0;
      return;
    }
    if (!ins_.empty() || !outs_.empty()) {
      const std::int64_t step = PacketNs();
      for (std::int64_t t = std::max(served_, now - kCatchUpNs) + step; t < now; t += step) {
        ServiceAt(t);
      }
    }
    ServiceAt(now);
    served_ = now;
    if (chip_.Unplugged()) Detach(now);
  }

  // When to look again: a packet due, a packet's worth of room for a write, or a replug.
  std::int64_t NextNs(std::int64_t now) const {
    if (fd_ < 0) return replugAt_;
    std::int64_t next = now + 50 * kMs;
    if (!ins_.empty()) next = std::min(next, chip_.NextPacketNs(now));
    if (!outs_.empty()) next = std::min(next, now + PacketNs());
    return std::max(next, now + 20'000);
  }

  void Closed(std::int64_t now) {
    std::fprintf(stderr, "usbip-chip: %s: the kernel closed the connection\n", key_.c_str());
    Drop(now);
  }

 private:
  // The time the pins take to put out a packet's worth, a step of the time a host goes through.
  std::int64_t PacketNs() const {
    return std::max<std::int64_t>(
        20'000, chip_.PacketPayload() * 1'000'000'000LL / chip_.UpdatesPerSecond());
  }

  static bool ConnectedPair(int pair[2]) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bool ok = listener >= 0 &&
              bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              listen(listener, 1) == 0 &&
              getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    pair[0] = ok ? socket(AF_INET, SOCK_STREAM, 0) : -1;
    ok = ok && pair[0] >= 0 &&
         connect(pair[0], reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    pair[1] = ok ? accept(listener, nullptr, nullptr) : -1;
    if (listener >= 0) close(listener);
    if (pair[1] >= 0) return true;
    std::perror("usbip-chip: loopback connection");
    if (pair[0] >= 0) close(pair[0]);
    return false;
  }

  void Send(const std::vector<std::uint8_t>& message) {
    std::size_t sent = 0;
    while (sent < message.size() && fd_ >= 0) {
      const ssize_t n = send(fd_, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EAGAIN) {
        pollfd wait{fd_, POLLOUT, 0};
        poll(&wait, 1, 100);
      } else {
        return;
      }
    }
  }

  void Submit(const usbip::Header& h, std::vector<std::uint8_t> data, std::int64_t now) {
    if (h.endpoint == 0) {
      ++session_.control;
      const auto& s = h.setup;
      const SetupPacket setup{s[0], s[1], static_cast<std::uint16_t>(s[2] | s[3] << 8),
                              static_cast<std::uint16_t>(s[4] | s[5] << 8),
                              static_cast<std::uint16_t>(s[6] | s[7] << 8)};
      // What the Game Boy saw while the chip was in bit-bang mode is the link's: the lines that
      // move as the mode is set and reset are not, and are judged apart (the tests' ChipLines).
      constexpr std::uint8_t kVendorOut = 0x40;
      constexpr std::uint8_t kSetBitMode = 0x0B;
      const bool bitMode = setup.requestType == kVendorOut && setup.request == kSetBitMode;
      if (far_.gameBoy && bitMode) far_.gameBoy->SetRecording(false);
      const ControlReply reply = chip_.Control(setup, data, now);
      if (far_.gameBoy && bitMode) {
        far_.gameBoy->SetRecording(chip_.Mode() == BitMode::SyncBitBang);
      }
      if (reply.stalled) {
        Send(usbip::Reply(Command::SubmitReply, h.seqnum, usbip::kStalled));
      } else {
        Send(usbip::Reply(Command::SubmitReply, h.seqnum, 0, reply.data,
                          setup.ToHost() ? 0 : h.length));
      }
      return;
    }
    if (h.endpoint == 2 && h.direction != usbip::kDirectionIn) {
      ++session_.out;
      if (ChangesTheLines(data)) ++session_.changing;
      outs_.push_back({h.seqnum, std::move(data)});
    } else if (h.endpoint == 1 && h.direction == usbip::kDirectionIn) {
      ++session_.in;
      ins_.push_back({h.seqnum, h.length, {}});
    } else {
      Send(usbip::Reply(Command::SubmitReply, h.seqnum, usbip::kStalled));
    }
  }

  void ServiceAt(std::int64_t t) {
    chip_.RunPins(t);
    for (bool moved = true; moved && !chip_.Unplugged();) moved = ServiceOut(t) | ServiceIn(t);
  }

  bool ChangesTheLines(const std::vector<std::uint8_t>& data) {
    const std::uint8_t outputs = chip_.Outputs();
    bool changes = false;
    for (const std::uint8_t byte : data) {
      changes = changes || ((byte ^ lastOut_) & outputs) != 0;
      lastOut_ = byte;
    }
    return changes;
  }

  // A read cut off with data in it comes back with that data, as a host controller gives back a
  // cancelled transfer with what it had received; the unlink then finds it done (status 0).
  void Unlink(const usbip::Header& h) {
    const std::uint32_t target = h.length;
    std::int32_t status = 0;
    if (auto in = std::find_if(ins_.begin(), ins_.end(),
                               [&](const InUrb& u) { return u.seqnum == target; });
        in != ins_.end()) {
      if (!in->data.empty()) {
        Send(usbip::Reply(Command::SubmitReply, in->seqnum, 0, in->data));
      } else {
        status = usbip::kUnlinked;
      }
      ins_.erase(in);
    } else if (auto out = std::find_if(outs_.begin(), outs_.end(),
                                       [&](const OutUrb& u) { return u.seqnum == target; });
               out != outs_.end()) {
      outs_.erase(out);
      status = usbip::kUnlinked;
    }
    Send(usbip::Reply(Command::UnlinkReply, h.seqnum, status));
  }

  bool ServiceOut(std::int64_t now) {
    bool moved = false;
    const auto packet = static_cast<std::size_t>(chip_.PacketSize());
    while (!outs_.empty()) {
      OutUrb& urb = outs_.front();
      while (urb.taken < urb.data.size()) {
        const std::size_t n = std::min(packet, urb.data.size() - urb.taken);
        if (!chip_.TakeFromHost(std::span(urb.data).subspan(urb.taken, n), now)) return moved;
        urb.taken += n;
        moved = true;
      }
      Send(usbip::Reply(Command::SubmitReply, urb.seqnum, 0, {},
                        static_cast<std::uint32_t>(urb.data.size())));
      outs_.pop_front();
    }
    return moved;
  }

  bool ServiceIn(std::int64_t now) {
    bool moved = false;
    const auto packet = static_cast<std::size_t>(chip_.PacketSize());
    while (!ins_.empty()) {
      InUrb& urb = ins_.front();
      const auto sent = chip_.SendToHost(now);
      if (!sent) return moved;
      moved = true;
      if (urb.data.size() + sent->size() > urb.length) {
        Send(usbip::Reply(Command::SubmitReply, urb.seqnum, usbip::kOverflow));
        ins_.pop_front();
        continue;
      }
      urb.data.insert(urb.data.end(), sent->begin(), sent->end());
      if (sent->size() < packet || urb.data.size() == urb.length) {
        Send(usbip::Reply(Command::SubmitReply, urb.seqnum, 0, urb.data));
        ins_.pop_front();
      }
    }
    return moved;
  }

  // As `usbip detach` does: the port let go, so the kernel sees the device unplugged.
  void Detach(std::int64_t now) {
    session_.unplugged = true;
    WriteFile(std::string(kVhci) + "detach", std::to_string(port_));
    std::fprintf(stderr, "usbip-chip: %s unplugged (port %d detached)\n", key_.c_str(), port_);
    Drop(now);
  }

  void Drop(std::int64_t now) {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    inbox_.clear();
    outs_.clear();
    ins_.clear();
    replugAt_ = now + kReplugNs;
    setup_.faults.unplugAfterBytes = -1;
    setup_.faults.unplugAtClockPulse = setup_.faults.unplugAtLoopDrive = 0;
  }

  std::string key_;
  int port_;
  int speed_;
  FarEnd far_;
  SimulatedAdapterSetup setup_;
  SimulatedChip chip_{setup_};
  int fd_ = -1;
  std::int64_t replugAt_ = 0;
  std::int64_t served_ = 0;  // when Service last ran
  std::vector<std::uint8_t> inbox_;
  std::deque<OutUrb> outs_;
  std::deque<InUrb> ins_;
  std::uint8_t lastOut_ = 0;
  Session session_;
};

// USB_SPEED_FULL and USB_SPEED_HIGH (enum usb_device_speed).
constexpr int kFullSpeed = 2;
constexpr int kHighSpeed = 3;

int Serve(const std::string& control, const std::string& resultsPath) {
  std::FILE* results = std::fopen(resultsPath.c_str(), "a");
  if (results == nullptr) {
    std::perror(resultsPath.c_str());
    return 1;
  }
  std::vector<std::unique_ptr<Attachment>> chips;
  chips.push_back(std::make_unique<Attachment>("R", 0, kFullSpeed, 0x6001, "FN000001"));
  chips.push_back(std::make_unique<Attachment>("H", 1, kHighSpeed, 0x6014, ""));
  std::int64_t stamp = -1;
  std::int64_t lookedAt = 0;
  while (stopping == 0) {
    std::int64_t now = kernel::MonotonicNs();
    if (now - lookedAt > 20 * kMs) {
      lookedAt = now;
      if (const std::int64_t s = kernel::ControlStamp(control); s != stamp) {
        stamp = s;
        std::ifstream in(control);
        std::string name, chip, mode, lead, unplug;
        while (in >> name >> chip >> mode >> lead >> unplug) {
          for (auto& a : chips) {
            if (a->Key() == chip) a->StartSession(name, mode, lead, unplug, results);
          }
        }
      }
    }
    std::vector<pollfd> fds;
    std::int64_t next = now + 20 * kMs;
    for (auto& a : chips) {
      a->Service(now);
      next = std::min(next, a->NextNs(now));
      fds.push_back({a->Fd(), POLLIN, 0});
    }
    const std::int64_t wait = std::max<std::int64_t>(next - kernel::MonotonicNs(), 0);
    const timespec timeout{static_cast<time_t>(wait / 1'000'000'000),
                           static_cast<long>(wait % 1'000'000'000)};
    ppoll(fds.data(), fds.size(), &timeout, nullptr);
    now = kernel::MonotonicNs();
    for (std::size_t i = 0; i < chips.size(); ++i) {
      if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      if (!chips[i]->Receive(now)) chips[i]->Closed(now);
    }
  }
  for (auto& a : chips) a->EndSession(results);
  std::fclose(results);
  return 0;
}

}  // namespace
}  // namespace fennow

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fennow-usbip-chip CONTROL RESULTS\n");
    return 2;
  }
  std::signal(SIGTERM, [](int) { fennow::stopping = 1; });
  std::signal(SIGINT, [](int) { fennow::stopping = 1; });
  return fennow::Serve(argv[1], argv[2]);
}
