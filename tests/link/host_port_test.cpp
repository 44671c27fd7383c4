#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "link/HostPort.h"
#include "link/ParportDevice.h"

namespace fennow {
namespace {

namespace fs = std::filesystem;

// A /proc/sys/dev/parport and /dev of our own making.
class FakeSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("fennow-hostport-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(proc());
    fs::create_directories(dev());
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path proc() const { return root_ / "proc"; }
  fs::path dev() const { return root_ / "dev"; }

  void AddPort(const std::string& name, const std::string& baseAddr, bool withNode = true) {
    fs::create_directories(proc() / name);
    std::ofstream(proc() / name / "base-addr") << baseAddr;
    if (withNode) std::ofstream(dev() / name) << "";
  }

  // A direct opener that records the bases it was asked for and hands out recording ports.
  struct RecordingPort : PortIo {
    std::vector<std::pair<std::uint16_t, std::uint8_t>>* writes;
    void Write(std::uint16_t address, std::uint8_t value) override {
      writes->push_back({address, value});
    }
    std::uint8_t Read(std::uint16_t address) override { return static_cast<std::uint8_t>(address); }
  };

  HostPortEnvironment Environment(bool directAllowed) {
    HostPortEnvironment environment;
    environment.parportProcRoot = proc().string();
    environment.deviceRoot = dev().string();
    environment.log = &log_;
    environment.openDirect = [this, directAllowed](std::uint16_t base) -> std::unique_ptr<PortIo> {
      directRequests_.push_back(base);
      if (!directAllowed) return nullptr;
      auto port = std::make_unique<RecordingPort>();
      port->writes = &directWrites_;
      return port;
    };
    return environment;
  }

  int LogLines() const {
    const std::string text = log_.str();
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  }

  fs::path root_;
  std::ostringstream log_;
  std::vector<std::uint16_t> directRequests_;
  std::vector<std::pair<std::uint16_t, std::uint8_t>> directWrites_;
};

TEST(ParseBaseAddress, ReadsTheFirstNumberOnly) {
  const std::map<std::string, std::optional<std::uint32_t>> cases{
      {"888\t0\n", 888},     {"632\t0", 632},         {"956 1916\n", 956},     {"", std::nullopt},
      {"abc", std::nullopt}, {"-1\t0", std::nullopt}, {"70000", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParseBaseAddress(text), expected) << '"' << text << '"';
  }
}

TEST_F(FakeSystem, FindsTheDeviceWhoseBaseMatches) {
  AddPort("parport0", "888\t0\n");
  AddPort("parport1", "632\t1656\n");
  AddPort("parport2", "956\t0\n");
  fs::create_directories(proc() / "default");  // the kernel's own settings folder, not a port
  EXPECT_EQ(FindParportDevice(proc(), dev(), 0x378), (dev() / "parport0").string());
  EXPECT_EQ(FindParportDevice(proc(), dev(), 0x278), (dev() / "parport1").string());
  EXPECT_EQ(FindParportDevice(proc(), dev(), 0x3BC), (dev() / "parport2").string());
  EXPECT_EQ(FindParportDevice(proc(), dev(), 0x3BD), std::nullopt);
  EXPECT_EQ(FindParportDevice((root_ / "missing").string(), dev(), 0x378), std::nullopt);
}

TEST_F(FakeSystem, WithoutADeviceOrPrivilegeThePortReadsAsAFloatingBus) {
  auto port = MakeHostPort(Environment(false));
  port->Write(0x378, 0x03);
  EXPECT_EQ(port->Read(0x379), 0xFF);
  port->Write(0x378, 0x00);
  // One line, once, naming the address and the reason.
  ASSERT_EQ(LogLines(), 1);
  EXPECT_NE(log_.str().find("0x378"), std::string::npos) << log_.str();
  EXPECT_NE(log_.str().find("no parallel-port device"), std::string::npos) << log_.str();
  EXPECT_EQ(directRequests_, std::vector<std::uint16_t>{0x378});

  // another port gets its own attempt and its own line
  EXPECT_EQ(port->Read(0x3BD), 0xFF);
  EXPECT_EQ(LogLines(), 2);
  EXPECT_NE(log_.str().find("0x3BC"), std::string::npos) << log_.str();
}

TEST_F(FakeSystem, DirectAccessIsUsedOnlyWhenNoDeviceServesThePort) {
  auto port = MakeHostPort(Environment(true));
  port->Write(0x278, 0x05);
  EXPECT_EQ(port->Read(0x279), 0x79);  // the recording port echoes the address's low byte
  EXPECT_EQ(directRequests_, std::vector<std::uint16_t>{0x278});
  EXPECT_EQ(directWrites_, (std::vector<std::pair<std::uint16_t, std::uint8_t>>{{0x278, 0x05}}));
  EXPECT_EQ(LogLines(), 0);
}

TEST_F(FakeSystem, AFileThatIsNotAPortDeviceIsReported) {
  AddPort("parport0", "888\t0\n");  // a plain file where the device node should be
  auto port = MakeHostPort(Environment(false));
  EXPECT_EQ(port->Read(0x379), 0xFF);
  ASSERT_EQ(LogLines(), 1);
  EXPECT_NE(log_.str().find("is not a parallel-port device"), std::string::npos) << log_.str();
}

TEST_F(FakeSystem, PermissionDeniedPointsAtGroupLp) {
  if (geteuid() == 0) GTEST_SKIP() << "root opens any file; permission bits cannot be tested";
  AddPort("parport0", "888\t0\n");
  fs::permissions(dev() / "parport0", fs::perms::none);
  auto port = MakeHostPort(Environment(false));
  port->Write(0x378, 0);
  ASSERT_EQ(LogLines(), 1);
  EXPECT_NE(log_.str().find("group lp"), std::string::npos) << log_.str();
}

TEST_F(FakeSystem, AMissingDeviceNodePointsAtTheDeviceDriver) {
  AddPort("parport0", "888\t0\n", /*withNode=*/false);
  auto port = MakeHostPort(Environment(false));
  port->Write(0x378, 0);
  EXPECT_NE(log_.str().find("/parport0 does not exist"), std::string::npos) << log_.str();
  EXPECT_NE(log_.str().find("modprobe ppdev"), std::string::npos) << log_.str();
}

}  // namespace
}  // namespace fennow
