// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "link/ByteExchange.h"
#include "link/LinkSession.h"
#include "ports/PortSelection.h"
#include "ports/SystemPorts.h"
#include "ports/parport/ParportDevice.h"
#include "ports/usb/UsbAdapters.h"
#include "sim/SimulatedFtdiBus.h"
#include "sim/VirtualCounter.h"
#include "tests/support/FakeParport.h"
#include "tests/support/FakePpdev.h"

namespace fennow {
namespace {

namespace fs = std::filesystem;

// The fake tree, and openers that record what they were asked for.
class FakeSystem : public ::testing::Test {
 protected:
  FakeSystem() : tree_(::testing::UnitTest::GetInstance()->current_test_info()->name()) {}

  fs::path proc() const { return tree_.proc(); }
  fs::path dev() const { return tree_.dev(); }
  void AddPort(const std::string& name, const std::string& baseAddr, bool withNode = true) {
    tree_.AddPort(name, baseAddr, withNode);
  }

  // A direct opener that records the bases it was asked for and hands out recording ports.
  struct RecordingPort : PortIo {
    std::vector<std::pair<std::uint16_t, std::uint8_t>>* writes;
    void Write(std::uint16_t address, std::uint8_t value) override {
      writes->push_back({address, value});
    }
    std::uint8_t Read(std::uint16_t address) override { return static_cast<std::uint8_t>(address); }
  };

  // With fakeDevices, device opens are answered from deviceScript_: for each device, the errors of
  // its next attempts, 0 (or nothing left) opening it as a recording port. Otherwise the device
  // files of the tree are opened for real.
  SystemPortsSetup Environment(bool directAllowed, bool fakeDevices = false) {
    SystemPortsSetup environment;
    if (fakeDevices) {
      environment.openDevice = [this](const ParportEntry& entry) {
        const std::string& path = entry.device;
        deviceRequests_.push_back(path);
        std::deque<int>& errors = deviceScript_[path];
        const int error = errors.empty() ? 0 : errors.front();
        if (!errors.empty()) errors.pop_front();
        if (error != 0) return DeviceOpenResult{nullptr, error};
        auto port = std::make_unique<RecordingPort>();
        port->writes = &deviceWrites_;
        return DeviceOpenResult{std::move(port), 0};
      };
    }
    environment.parportProcRoot = proc().string();
    environment.deviceRoot = dev().string();
    environment.usbBus = &bus_;
    environment.counter = &counter_;
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

  // The parallel port at `base`, reached: the port object the link would use, and why not.
  static ReachedPort At(SystemPorts& host, std::uint16_t base) {
    return host.Reach(ParallelPortAt(base));
  }
  static std::optional<PortProblem> ProblemAt(SystemPorts& host, std::uint16_t base) {
    return At(host, base).problem;
  }

  int LogLines() const {
    const std::string text = log_.str();
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  }

  // An adapter on the USB bus, its pins wired to nothing.
  SimulatedAdapter& Plug(const std::string& serial, ChipError openError = ChipError::None) {
    SimulatedAdapterSetup setup;
    setup.serial = serial;
    setup.faults.openError = openError;
    return bus_.Plug(setup);
  }

  test::FakeParportTree tree_;
  VirtualCounter counter_;
  SimulatedFtdiBus bus_{counter_};
  std::ostringstream log_;
  std::vector<std::uint16_t> directRequests_;
  std::vector<std::pair<std::uint16_t, std::uint8_t>> directWrites_;
  std::map<std::string, std::deque<int>> deviceScript_;
  std::vector<std::string> deviceRequests_;
  std::vector<std::pair<std::uint16_t, std::uint8_t>> deviceWrites_;
};

// Only what the kernel writes: one or two decimal numbers, a tab between, a newline after.
TEST(ParseBaseAddress, TakesTheKernelsTextAndNothingElse) {
  const std::map<std::string, std::optional<std::uint16_t>> cases{
      {"888\t0\n", 888},
      {"888\t1912\n", 888},
      {"53264\t54288\n", 53264},
      {"956\n", 956},
      {"65534\t0\n", 65534},  // its status register is the last address there is
      {"65535\t0\n", std::nullopt},
      {"70000\t0\n", std::nullopt},
      {"632\t0", std::nullopt},
      {"956 1916\n", std::nullopt},
      {"0x378\n", std::nullopt},
      {"888abc\n", std::nullopt},
      {"1e3\n", std::nullopt},
      {"0888\t0\n", std::nullopt},
      {"888\t\n", std::nullopt},
      {"888\t0\t0\n", std::nullopt},
      {"0\t0\n", std::nullopt},
      {"-1\t0\n", std::nullopt},
      {"+888\n", std::nullopt},
      {"\n", std::nullopt},
      {"", std::nullopt},
      {"99999999999999999999\n", std::nullopt},
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
  const auto find = [this](const std::string& root, std::uint32_t base) -> std::string {
    const std::optional<ParportEntry> found = FindParportDevice(root, dev(), base);
    return found ? found->device + " " + found->entry : "none";
  };
  const auto listed = [this](const std::string& name) {
    return (dev() / name).string() + " " + (proc() / name).string();
  };
  EXPECT_EQ(find(proc(), 0x378), listed("parport0"));
  EXPECT_EQ(find(proc(), 0x278), listed("parport1"));
  EXPECT_EQ(find(proc(), 0x3BC), listed("parport2"));
  EXPECT_EQ(find(proc(), 0x3BD), "none");
  EXPECT_EQ(find((tree_.root() / "missing").string(), 0x378), "none");
}

TEST_F(FakeSystem, WithoutADeviceOrPrivilegeThePortReadsAsAFloatingBus) {
  auto host = MakeSystemPorts(Environment(false));
  PortIo& port = *At(*host, 0x378).port;
  port.Write(0x378, 0x03);
  EXPECT_EQ(port.Read(0x379), 0xFF);
  port.Write(0x378, 0x00);
  // One line, naming the address and the reason.
  ASSERT_EQ(LogLines(), 1);
  EXPECT_NE(log_.str().find("0x378"), std::string::npos) << log_.str();
  EXPECT_NE(log_.str().find("no parallel-port device"), std::string::npos) << log_.str();
  EXPECT_EQ(directRequests_, std::vector<std::uint16_t>{0x378});

  // another port gets its own attempt and its own line
  EXPECT_EQ(At(*host, 0x3BC).port->Read(0x3BD), 0xFF);
  EXPECT_EQ(LogLines(), 2);
  EXPECT_NE(log_.str().find("0x3BC"), std::string::npos) << log_.str();
}

TEST_F(FakeSystem, DirectAccessIsUsedOnlyWhenNoDeviceServesThePort) {
  auto host = MakeSystemPorts(Environment(true));
  PortIo& port = *At(*host, 0x278).port;
  port.Write(0x278, 0x05);
  EXPECT_EQ(port.Read(0x279), 0x79);  // the recording port echoes the address's low byte
  EXPECT_EQ(directRequests_, std::vector<std::uint16_t>{0x278});
  EXPECT_EQ(directWrites_, (std::vector<std::pair<std::uint16_t, std::uint8_t>>{{0x278, 0x05}}));
  EXPECT_EQ(LogLines(), 0);
}

TEST_F(FakeSystem, AFileThatIsNotAPortDeviceIsReported) {
  AddPort("parport0", "888\t0\n");  // a plain file where the device node should be
  auto port = MakeSystemPorts(Environment(false));
  const ReachedPort reached = At(*port, 0x378);
  EXPECT_EQ(reached.port->Read(0x379), 0xFF);
  ASSERT_EQ(LogLines(), 1);
  EXPECT_NE(log_.str().find("is not a parallel-port device"), std::string::npos) << log_.str();

  const std::optional<PortProblem> problem = reached.problem;
  ASSERT_TRUE(problem);
  EXPECT_EQ(problem->reason, PortReason::NotAPortDevice);
  EXPECT_EQ(problem->device, (dev() / "parport0").string());
}

TEST_F(FakeSystem, PermissionDeniedPointsAtGroupLp) {
  if (geteuid() == 0) GTEST_SKIP() << "root opens any file; permission bits cannot be tested";
  AddPort("parport0", "888\t0\n");
  fs::permissions(dev() / "parport0", fs::perms::none);
  auto port = MakeSystemPorts(Environment(false));
  const std::optional<PortProblem> problem = ProblemAt(*port, 0x378);
  ASSERT_EQ(LogLines(), 1);
  EXPECT_NE(log_.str().find("group lp"), std::string::npos) << log_.str();

  ASSERT_TRUE(problem);
  EXPECT_EQ(problem->reason, PortReason::PermissionDenied);
  EXPECT_EQ(problem->device, (dev() / "parport0").string());
}

TEST_F(FakeSystem, AMissingDeviceNodePointsAtTheDeviceDriver) {
  AddPort("parport0", "888\t0\n", /*withNode=*/false);
  auto port = MakeSystemPorts(Environment(false));
  ProblemAt(*port, 0x378);
  EXPECT_NE(log_.str().find("/parport0 does not exist"), std::string::npos) << log_.str();
  EXPECT_NE(log_.str().find("modprobe ppdev"), std::string::npos) << log_.str();
}

TEST_F(FakeSystem, EachFailureToOpenHasItsReasonAndNamesTheDevice) {
  AddPort("parport0", "53264\t53248\n");  // a PCIe card
  const std::string device = (dev() / "parport0").string();
  const struct {
    int error;
    PortReason reason;
  } cases[] = {
      {EACCES, PortReason::PermissionDenied},
      {EPERM, PortReason::PermissionDenied},
      {EBUSY, PortReason::Busy},
      {ENOTTY, PortReason::NotAPortDevice},
      {EINVAL, PortReason::NotAPortDevice},
      {ENOENT, PortReason::NoDeviceNode},
      {ENODEV, PortReason::DeviceLost},
      {ENXIO, PortReason::DeviceLost},
      {EIO, PortReason::Other},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::strerror(c.error));
    deviceScript_[device] = {c.error};
    auto port = MakeSystemPorts(Environment(false, true));
    const std::optional<PortProblem> problem = ProblemAt(*port, 0xD010);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->kind, PortKind::ParallelPort);
    EXPECT_EQ(problem->reason, c.reason);
    EXPECT_EQ(problem->device, device);
    EXPECT_EQ(problem->detail, std::strerror(c.error));
  }
}

TEST_F(FakeSystem, APortThatFailedIsTriedAgainAtEachReachAndStaysOpenOnceOpened) {
  AddPort("parport0", "888\t0\n");
  const std::string device = (dev() / "parport0").string();
  deviceScript_[device] = {EBUSY, EBUSY};  // then the printer service is stopped
  auto port = MakeSystemPorts(Environment(false, true));

  ASSERT_TRUE(ProblemAt(*port, 0x378));
  const ReachedPort busy = At(*port, 0x378);
  EXPECT_EQ(busy.problem->reason, PortReason::Busy);
  // Accesses between two operations do not try again: a transfer is thousands of them.
  busy.port->Write(0x378, 0x01);
  EXPECT_EQ(busy.port->Read(0x379), 0xFF);
  EXPECT_EQ(deviceRequests_.size(), 2u);
  EXPECT_EQ(LogLines(), 2);  // one line per failed attempt

  EXPECT_EQ(ProblemAt(*port, 0x378), std::nullopt);
  const ReachedPort open = At(*port, 0x378);
  EXPECT_EQ(open.problem, std::nullopt);
  EXPECT_EQ(deviceRequests_, std::vector<std::string>(3, device));  // opened once, then kept
  open.port->Write(0x378, 0x02);
  EXPECT_EQ(open.port->Read(0x379), 0x79);
  EXPECT_EQ(deviceWrites_, (std::vector<std::pair<std::uint16_t, std::uint8_t>>{{0x378, 0x02}}));
  EXPECT_EQ(LogLines(), 2);
}

TEST_F(FakeSystem, ACardTakenOutIsReportedLostThenLookedForAgain) {
  AddPort("parport0", "53264\t53248\n");
  const std::string device = (dev() / "parport0").string();
  auto port = MakeSystemPorts(Environment(false, true));
  ASSERT_EQ(ProblemAt(*port, 0xD010), std::nullopt);

  tree_.RemovePort("parport0");
  const ReachedPort lost = At(*port, 0xD010);
  ASSERT_TRUE(lost.problem);
  EXPECT_EQ(lost.problem->reason, PortReason::DeviceLost);
  EXPECT_EQ(lost.problem->device, device);
  lost.port->Write(0xD010, 0x01);  // the lost device was let go
  EXPECT_TRUE(deviceWrites_.empty());
  EXPECT_EQ(ProblemAt(*port, 0xD010)->reason, PortReason::NoDevice);

  AddPort("parport0", "53264\t53248\n");  // put back
  EXPECT_EQ(ProblemAt(*port, 0xD010), std::nullopt);
  EXPECT_EQ(deviceRequests_.size(), 2u);
}

// The claim lasts from Reach to Release, so the printer driver can print between operations;
// direct I/O, which shares nothing, stays open.
TEST_F(FakeSystem, AParallelPortIsClaimedFromReachToReleaseOnly) {
  test::FakePpdev kernel(tree_);
  kernel.AddPort(0, 0x378, nullptr, "1912");
  SystemPortsSetup setup = Environment(/*directAllowed=*/true);
  setup.openDevice = [&kernel](const ParportEntry& entry) {
    return OpenParportDevice(kernel, entry);
  };
  SystemPorts host(setup);
  const PortTarget device = ParallelPortAt(0x378);
  const PortTarget direct = ParallelPortAt(0x278);
  for (int operation = 1; operation <= 2; ++operation) {
    SCOPED_TRACE(operation);
    EXPECT_EQ(host.Reach(device).problem, std::nullopt);
    EXPECT_EQ(host.Reach(direct).problem, std::nullopt);
    EXPECT_TRUE(kernel.Claimed(0));
    EXPECT_EQ(kernel.opens, operation);
    host.Release(device);
    host.Release(direct);
    EXPECT_FALSE(kernel.Claimed(0));
    EXPECT_EQ(host.DeviceOf(device), "");
  }
  EXPECT_EQ(directRequests_, std::vector<std::uint16_t>{0x278});
}

TEST_F(FakeSystem, DirectAccessIsNeverTriedOffTheLegacyAddresses) {
  AddPort("parport0", "53264\t53248\n");
  deviceScript_[(dev() / "parport0").string()] = {EACCES};
  auto port = MakeSystemPorts(Environment(true, true));
  EXPECT_EQ(ProblemAt(*port, 0xD010)->reason, PortReason::PermissionDenied);
  EXPECT_EQ(ProblemAt(*port, 0xE000)->reason, PortReason::NoDevice);
  EXPECT_TRUE(directRequests_.empty());
  EXPECT_EQ(ProblemAt(*port, 0x378), std::nullopt);  // no device there, and the process may do I/O
  EXPECT_EQ(directRequests_, std::vector<std::uint16_t>{0x378});
}

// ---- The claim, against a model of the kernel's ppdev
// --------------------------------------------

struct ClaimCase {
  const char* name;
  test::Holder holder;
  int releaseAfterMs;  // a shared holder's
  int openError;
  bool directAllowed;
  std::optional<PortReason> reason;  // nothing: reached
  bool directUsed;
  const char* logged;  // in the one log line; null: no line
};

void PrintTo(const ClaimCase& c, std::ostream* out) {
  *out << c.name;
}

class Claims : public FakeSystem, public ::testing::WithParamInterface<ClaimCase> {};

// Every row of the kernel's claim table: exclusive when nobody else is registered, shared beside
// an idle printer driver or after a short wait, busy within the bounded wait otherwise; root's
// direct I/O still says why the device was not used.
TEST_P(Claims, ThePortIsClaimedAsTheKernelGrantsIt) {
  const ClaimCase& c = GetParam();
  test::FakePpdev kernel(tree_);
  test::FakePpdevPort& port = kernel.AddPort(0, 0x378, nullptr, "1912");
  port.holder = c.holder;
  port.releaseAfterMs = c.releaseAfterMs;
  port.openError = c.openError;
  SystemPortsSetup environment = Environment(c.directAllowed);
  environment.openDevice = [&kernel](const ParportEntry& entry) {
    return OpenParportDevice(kernel, entry);
  };
  SystemPorts host(environment);

  const auto start = std::chrono::steady_clock::now();
  const std::optional<PortProblem> problem = ProblemAt(host, 0x378);
  const auto waited = std::chrono::steady_clock::now() - start;

  EXPECT_EQ(problem ? std::optional<PortReason>(problem->reason) : std::nullopt,
            c.directUsed ? std::nullopt : c.reason);
  EXPECT_LT(waited, std::chrono::milliseconds(kSharedClaimWaitMs + 1000)) << "the window froze";
  EXPECT_FALSE(kernel.sleptUnbounded) << "the claim was never interrupted";
  EXPECT_EQ(LogLines(), c.logged ? 1 : 0) << log_.str();
  if (c.logged) {
    EXPECT_NE(log_.str().find(c.logged), std::string::npos) << log_.str();
  }
}

INSTANTIATE_TEST_SUITE_P(
    KernelClaimTable, Claims,
    ::testing::Values(
        ClaimCase{"NothingElse", test::Holder::None, -1, 0, false, std::nullopt, false, nullptr},
        ClaimCase{"IdlePrinterDriver", test::Holder::IdleDriver, -1, 0, false, std::nullopt, false,
                  nullptr},
        ClaimCase{"PrinterDriverLetsGoSoon", test::Holder::SharedClaim, 200, 0, false, std::nullopt,
                  false, nullptr},
        ClaimCase{"SharedHolderKeepsIt", test::Holder::SharedClaim, -1, 0, false, PortReason::Busy,
                  false, "is busy: another program or driver holds the port"},
        ClaimCase{"ExclusiveHolder", test::Holder::ExclusiveClaim, -1, 0, false, PortReason::Busy,
                  false, "is busy"},
        ClaimCase{"NotInGroupLp", test::Holder::None, -1, EACCES, false,
                  PortReason::PermissionDenied, false, "group lp"},
        ClaimCase{"RootBesideAnExclusiveHolder", test::Holder::ExclusiveClaim, -1, 0, true,
                  PortReason::Busy, true, "driven by direct I/O, as /"}),
    [](const auto& tp) { return std::string(tp.param.name); });

// ---- USB link adapters ------------------------------------------------------------------------

// An adapter has no address: it is opened by its serial number, and nothing else is ever tried in
// its place, not even by a process that may do port I/O, also when the adapter refuses.
TEST_F(FakeSystem, AnAdapterIsReachedByItsSerialNumberAndNeverByDirectIo) {
  SimulatedAdapter& working = Plug("A50285BI");
  Plug("B7000002", ChipError::PermissionDenied);
  auto port = MakeSystemPorts(Environment(/*directAllowed=*/true, /*fakeDevices=*/true));
  const PortTable table = port->Ports();
  EXPECT_EQ(TargetOf(table, PortChoice::LPT1),
            (PortTarget{0, "USB FT232R A50285BI", PortKind::UsbAdapter, 0x6001, "A50285BI"}));
  EXPECT_EQ(TargetOf(table, PortChoice::LPT2),
            (PortTarget{0, "USB FT232R B7000002", PortKind::UsbAdapter, 0x6001, "B7000002"}));

  const ReachedPort reached = port->Reach(TargetOf(table, PortChoice::LPT1));
  EXPECT_EQ(reached.problem, std::nullopt);
  reached.port->Write(0x378, 0x02);
  ASSERT_FALSE(working.Lines().empty());
  EXPECT_EQ(working.Lines().back().lines, 0x02) << "the write reached the adapter's pins";
  EXPECT_EQ(reached.port->Read(0x379), 0x7F);  // unwired inputs float high; BUSY's pin inverted

  const ReachedPort refused = port->Reach(TargetOf(table, PortChoice::LPT2));
  EXPECT_EQ(refused.problem->reason, PortReason::PermissionDenied);
  refused.port->Write(0x278, 0x02);
  EXPECT_EQ(refused.port->Read(0x279), 0xFF);
  EXPECT_TRUE(directRequests_.empty());
  EXPECT_TRUE(deviceRequests_.empty());
  EXPECT_EQ(LogLines(), 1);
  EXPECT_NE(log_.str().find("port USB FT232R B7000002 is unreachable"), std::string::npos)
      << log_.str();

  // LPT3, with nothing of its own, keeps a parallel port's legacy address.
  EXPECT_EQ(port->Reach(TargetOf(table, PortChoice::LPT3)).problem, std::nullopt);
  EXPECT_EQ(directRequests_, std::vector<std::uint16_t>{0x3BC});
}

// An adapter gone from the bus since the ports were listed, or one whose serial number could not
// be read (no udev rule), is explained without being opened; one that has no serial number (a
// blank EEPROM) is opened where it sits.
TEST_F(FakeSystem, AnAdapterGoneOrUnreadableIsExplainedWithoutOpeningIt) {
  SimulatedAdapter& gone = Plug("A50285BI");
  SimulatedAdapterSetup unreadable;
  unreadable.serial = "B7000002";
  unreadable.faults.serialUnreadable = true;
  const SimulatedAdapter& locked = bus_.Plug(unreadable);
  const SimulatedAdapter& blank = Plug("");
  auto port = MakeSystemPorts(Environment(/*directAllowed=*/true));
  const PortTable table = port->Ports();
  ASSERT_EQ(TargetOf(table, PortChoice::LPT2).name, "USB FT232R (serial number unreadable)");
  ASSERT_EQ(TargetOf(table, PortChoice::LPT3).name, "USB FT232R (no serial number)");

  gone.Unplug();
  EXPECT_EQ(port->Reach(TargetOf(table, PortChoice::LPT1)).problem,
            (PortProblem{PortKind::UsbAdapter, PortReason::DeviceLost, "USB FT232R A50285BI", {}}));
  EXPECT_EQ(port->Reach(TargetOf(table, PortChoice::LPT2)).problem,
            (PortProblem{PortKind::UsbAdapter, PortReason::PermissionDenied,
                         "USB FT232R (serial number unreadable)",
                         "libusb_open() failed: LIBUSB_ERROR_ACCESS"}));
  EXPECT_EQ(port->Reach(TargetOf(table, PortChoice::LPT3)).problem, std::nullopt);
  EXPECT_TRUE(blank.Open());
  EXPECT_EQ(locked.Writes(), 0u);
  EXPECT_TRUE(directRequests_.empty());
  EXPECT_EQ(LogLines(), 2);
}

// The whole byte goes to the adapter in one round trip; an adapter that is lost says so through
// the port the link holds, and is let go and opened again by its serial number at the next Reach
// once it is back, also when it was pulled out and in again while nobody used it.
TEST_F(FakeSystem, AnAdapterThatWasLostIsOpenedAgainBySerialNumberOnceItIsBack) {
  SimulatedAdapter& adapter = Plug("A50285BI");
  auto port = MakeSystemPorts(Environment(false));
  LinkSession link(counter_);
  const PortTarget target = TargetOf(port->Ports(), PortChoice::LPT1);
  PointPortAt(link.port, PortChoice::LPT1, target);
  const auto reach = [&] {
    const ReachedPort reached = port->Reach(target);
    link.Use(*reached.port);
    return reached.problem;
  };
  const auto roundTripsOfAByte = [&] {
    const std::uint64_t writes = adapter.Writes();
    ExchangeByte(link, 0x55);
    return adapter.Writes() - writes;
  };

  ASSERT_EQ(reach(), std::nullopt);
  EXPECT_EQ(roundTripsOfAByte(), 1u);
  EXPECT_EQ(link.lines.LostReason(), "");

  adapter.Unplug();
  ExchangeByte(link, 0x55);
  EXPECT_EQ(link.lines.LostReason(),
            "USB FT232R A50285BI was unplugged (usb bulk write failed: LIBUSB_ERROR_NO_DEVICE)");
  EXPECT_EQ(reach(),
            (PortProblem{PortKind::UsbAdapter, PortReason::DeviceLost, "USB FT232R A50285BI", {}}));
  EXPECT_EQ(link.lines.LostReason(), "") << "the lost adapter was let go";
  EXPECT_EQ(LogLines(), 1);

  adapter.PlugBackIn();
  EXPECT_EQ(reach(), std::nullopt);
  EXPECT_TRUE(adapter.Open());
  EXPECT_EQ(roundTripsOfAByte(), 1u);

  adapter.PlugBackIn();  // out and in again between two operations: the old handle is dead
  EXPECT_EQ(reach(), std::nullopt);
  EXPECT_EQ(roundTripsOfAByte(), 1u);
  EXPECT_EQ(link.lines.LostReason(), "");
  EXPECT_EQ(LogLines(), 1);
}

// An adapter given to another choice by a later listing stays open and is reached there, as the
// same port object; one that no choice reaches any more is let go.
TEST_F(FakeSystem, AnAdapterGivenToAnotherChoiceIsReachedThereAndOneNotOfferedIsLetGo) {
  SimulatedAdapter& first = Plug("M0000001");
  auto port = MakeSystemPorts(Environment(false));
  const PortIo* opened = port->Reach(TargetOf(port->Ports(), PortChoice::LPT1)).port;
  ASSERT_TRUE(first.Open());

  SimulatedAdapter& earlier = Plug("A0000002");  // sorts before it: LPT1 now
  const PortTable table = port->Ports();
  EXPECT_EQ(TargetOf(table, PortChoice::LPT1).name, "USB FT232R A0000002");
  EXPECT_EQ(TargetOf(table, PortChoice::LPT2).name, "USB FT232R M0000001");
  EXPECT_EQ(port->Reach(TargetOf(table, PortChoice::LPT1)).problem, std::nullopt);
  EXPECT_TRUE(earlier.Open());
  const ReachedPort moved = port->Reach(TargetOf(table, PortChoice::LPT2));
  EXPECT_EQ(moved.port, opened);
  first.ClearRecords();
  moved.port->Write(0x278, 0x01);
  ASSERT_EQ(first.Lines().size(), 1u);
  EXPECT_EQ(first.Lines().back().lines, 0x01);

  // Four adapters: the one sorting last no longer fits in three choices.
  Plug("B0000003");
  Plug("C0000004");
  port->Ports();
  EXPECT_FALSE(first.Open());
  EXPECT_TRUE(earlier.Open());
}

}  // namespace
}  // namespace fennow
