// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "ports/PortDirectory.h"
#include "sim/SimulatedGameBoy.h"
#include "sim/VirtualCounter.h"
#include "tests/export/ExportFixtures.h"

namespace fennow {
namespace {

// Passes everything on to the Game Boy until it has taken `loseAfter` writes; from then on it is
// gone, as an unplugged adapter is.
class LosingPort final : public PortIo {
 public:
  explicit LosingPort(PortIo& inner) : inner_(inner) {}
  void Write(std::uint16_t address, std::uint8_t value) override {
    if (loseAfter >= 0 && writes_++ >= loseAfter) lost_ = true;
    if (!lost_) inner_.Write(address, value);
  }
  std::uint8_t Read(std::uint16_t address) override { return lost_ ? 0 : inner_.Read(address); }
  std::string LostReason() const override {
    return lost_ ? "the adapter is not on the USB bus" : "";
  }
  int loseAfter = -1;

 private:
  PortIo& inner_;
  int writes_ = 0;
  bool lost_ = false;
};

class NoPorts final : public PortDirectory {
 public:
  PortTable Ports() override { return LegacyPorts(); }
  ReachedPort Reach(const PortTarget&) override {
    return {&NoPort(), PortProblem{PortKind::ParallelPort, PortReason::NoDevice, {}, {}}};
  }
};

struct Keys final : KeySource {
  bool KeyWaiting() override { return waiting; }
  bool waiting = false;
};

enum class Sends { Screen, Data, UnscaledData, BadMode, Nothing, LeadLooped };

struct Case {
  const char* name;
  Command command;
  Sends sends;
  const char* output;  // in the case's folder; nullptr: the default name
  std::optional<FileFormat> format;
  ExitStatus status;
  const char* says;                // on standard error
  std::vector<const char*> files;  // written, in the case's folder
  bool reachable = true;
  int loseAfter = -1;
  bool keyWaiting = false;
  int count = 1;
};

TEST(Commands, EachEndingHasItsOwnExitStatus) {
  const Case cases[] = {
      {"screen as PNG",
       Command::Capture,
       Sends::Screen,
       "s.png",
       FileFormat::Png,
       ExitStatus::Success,
       "Screen Transfer Successful",
       {"s.png"}},
      {"two data blocks as CSV",
       Command::Capture,
       Sends::Data,
       "d.csv",
       FileFormat::Csv,
       ExitStatus::Success,
       "Data Transfer Successful",
       {"d.csv", "d-2.csv"},
       true,
       -1,
       false,
       2},
      {"nobody answers",
       Command::Capture,
       Sends::Nothing,
       "s.bmp",
       FileFormat::Bitmap,
       ExitStatus::SyncTimeout,
       "Serial Sync Timeout",
       {}},
      {"a mode byte of neither kind",
       Command::Capture,
       Sends::BadMode,
       "s.bmp",
       FileFormat::Bitmap,
       ExitStatus::AcknowledgeError,
       "Serial Acknowledge Error",
       {}},
      {"a key pressed",
       Command::Capture,
       Sends::Screen,
       "s.bmp",
       FileFormat::Bitmap,
       ExitStatus::KeyExit,
       "Key Exit",
       {},
       true,
       -1,
       true},
      {"the port lost",
       Command::Capture,
       Sends::Screen,
       "s.bmp",
       FileFormat::Bitmap,
       ExitStatus::PortLost,
       "Interface Port Lost: the adapter is not on the USB bus",
       {},
       true,
       4000},
      {"no port",
       Command::Capture,
       Sends::Screen,
       "s.bmp",
       FileFormat::Bitmap,
       ExitStatus::PortUnreachable,
       "LPT1 (0x378) cannot be reached: no parallel-port device",
       {},
       false},
      // The other kind is kept, under the same name in its own format.
      {"data for a picture format",
       Command::Capture,
       Sends::Data,
       "s.png",
       FileFormat::Png,
       ExitStatus::WrongKind,
       "No Screen Information Transferred",
       {"s.txt"}},
      // Checked before the transfer, which would otherwise time out against nobody.
      {"a folder that is not there",
       Command::Capture,
       Sends::Nothing,
       "gone/s.bmp",
       FileFormat::Bitmap,
       ExitStatus::SaveFailed,
       "gone/s.bmp: the folder ",
       {}},
      // A capture the format refuses goes into the current folder in its own format.
      {"a block the Mathcad file cannot hold",
       Command::Capture,
       Sends::UnscaledData,
       "d.dat",
       FileFormat::Mathcad,
       ExitStatus::SaveFailed,
       "The Mathcad file was not saved: the third scale code is 238",
       {"d.txt"}},
      {"the lead test passes",
       Command::Test,
       Sends::LeadLooped,
       nullptr,
       {},
       ExitStatus::Success,
       "Loop Back Detected OK",
       {}},
      {"the lead test fails",
       Command::Test,
       Sends::Screen,
       nullptr,
       {},
       ExitStatus::NoLoopBack,
       "No Loop Back Detected",
       {}},
      {"the lead test without a port",
       Command::Test,
       Sends::LeadLooped,
       nullptr,
       {},
       ExitStatus::PortUnreachable,
       "cannot be reached",
       {},
       false},
      {"the port lost in the lead test",
       Command::Test,
       Sends::LeadLooped,
       nullptr,
       {},
       ExitStatus::PortLost,
       "Interface Port Lost: ",
       {},
       true,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const test::TempDir dir;
    const std::filesystem::path& folder = dir.path();
    VirtualCounter counter(1000);
    SimulatedGameBoy gameBoy([&counter] { return counter.Now(); });
    gameBoy.SetRecording(false);
    std::vector<std::uint8_t> block(kDataBytes, 3);
    if (c.sends == Sends::UnscaledData) block.back() = 0xEE;  // no scale value for that code
    if (c.sends == Sends::Data || c.sends == Sends::UnscaledData) gameBoy.LoadData(block);
    const test::CurrentFolder inFolder(folder);  // where a capture that could not be saved goes
    if (c.sends == Sends::BadMode) gameBoy.SetModeByte(7);
    if (c.sends == Sends::Nothing) gameBoy.SetConnection(Connection::StuckClear);
    if (c.sends == Sends::LeadLooped) gameBoy.SetConnection(Connection::StuckSet);
    LosingPort port(gameBoy);
    port.loseAfter = c.loseAfter;
    LegacyPortDirectory legacy{port};
    NoPorts none;
    Keys keys;
    keys.waiting = c.keyWaiting;
    std::ostringstream out;
    std::ostringstream err;
    CommandPlatform platform{
        c.reachable ? static_cast<PortDirectory&>(legacy) : none, counter, keys, out, err, false};
    CommandOptions options;
    options.command = c.command;
    if (c.output != nullptr) options.output = (folder / c.output).string();
    options.format = c.format;
    options.count = c.count;

    EXPECT_EQ(RunCommand(options, platform), c.status);
    EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find('\r'), std::string::npos);  // no bar off a terminal
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      written.push_back(entry.path().filename().string());
    }
    std::vector<std::string> expected(c.files.begin(), c.files.end());
    std::sort(written.begin(), written.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(written, expected);
    std::string saved;
    for (const char* file : c.files) saved += "Saved " + (folder / file).string() + "\n";
    EXPECT_EQ(out.str(), saved);
  }
}

TEST(Commands, TheBarIsDrawnOnATerminalAndEndsItsLine) {
  VirtualCounter counter(1000);
  SimulatedGameBoy gameBoy([&counter] { return counter.Now(); });
  gameBoy.SetRecording(false);
  const test::TempDir dir;
  LegacyPortDirectory legacy{gameBoy};
  Keys keys;
  std::ostringstream out;
  std::ostringstream err;
  CommandPlatform platform{legacy, counter, keys, out, err, true};
  CommandOptions options;
  options.command = Command::Capture;
  options.output = dir / "s.bmp";
  options.format = FileFormat::Bitmap;
  ASSERT_EQ(RunCommand(options, platform), ExitStatus::Success);
  const std::string text = err.str();
  EXPECT_NE(text.find("\r[##"), std::string::npos) << text;
  EXPECT_NE(text.find("\r[" + std::string(40, '#') + "] 100% \nScreen Transfer Successful\n"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace fennow
