// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <string>

#include "cli/PortSurvey.h"
#include "ports/SystemPorts.h"
#include "sim/SimulatedFtdiBus.h"
#include "sim/VirtualCounter.h"
#include "tests/support/FakeParport.h"

namespace fennow {
namespace {

struct NoPort final : PortIo {
  void Write(std::uint16_t, std::uint8_t) override {}
  std::uint8_t Read(std::uint16_t) override { return 0; }
};

// LPT1 on the onboard port, which opens; LPT2 on a PCIe card at 0xD010, whose device fails to
// open with each error in turn; LPT3 on a legacy address with nothing there.
TEST(PortSurvey, OneLineAChoiceWithTheWindowsReasonAndRemedy) {
  const test::FakeParportTree tree("survey");
  tree.AddPort("parport0", "888\t0\n");
  tree.AddPort("parport1", "53264\t53248\n");
  const std::string card = tree.Device("parport1");
  const std::string onboard = tree.Device("parport0");
  const std::string lpt3 =
      "LPT3  0x3BC   -" + std::string(card.size() - 1, ' ') +
      "  no parallel-port device has that base address. Load the parallel-port driver";
  const struct {
    int error;
    std::string lpt2;  // how the line for LPT2 starts
  } cases[] = {
      {0, "LPT2  0xD010  " + card + "  ready\n"},
      {EACCES, "LPT2  0xD010  " + card + "  permission denied on " + card +
                   ". Add your user to group lp (sudo adduser $USER lp), then log out and in "
                   "again.\n"},
      {EBUSY, "LPT2  0xD010  " + card + "  " + card +
                  " is busy: another program or driver holds the port. Stop the printer"},
      {ENOTTY, "LPT2  0xD010  " + card + "  " + card + " is not a parallel-port device."},
      {ENOENT, "LPT2  0xD010  " + card + "  " + card + " does not exist. Load the"},
      {EIO, "LPT2  0xD010  " + card + "  " + card + ": Input/output error. Look for the cause"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    SystemPortsSetup environment;
    environment.parportProcRoot = tree.proc().string();
    environment.deviceRoot = tree.dev().string();
    environment.openDevice = [&](const ParportEntry& entry) {
      const int error = entry.device == card ? c.error : 0;
      if (error != 0) return DeviceOpenResult{nullptr, error};
      return DeviceOpenResult{std::make_unique<NoPort>(), 0};
    };
    auto ports = MakeSystemPorts(environment);
    const std::string text = PortSurveyText(SurveyPorts(*ports));
    const std::string lpt1 = "LPT1  0x378   " + onboard + "  ready\n";
    EXPECT_EQ(text.rfind(lpt1, 0), 0u) << text;
    EXPECT_EQ(text.find(c.lpt2, lpt1.size()), lpt1.size()) << text;
    EXPECT_NE(text.find("\n" + lpt3), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
  }
}

// A laptop: no parallel port, one adapter. JSON carries the same facts.
TEST(PortSurvey, AnAdapterIsShownByItsChipAndSerialAndAsJson) {
  VirtualCounter counter;
  SimulatedFtdiBus bus(counter);
  SimulatedAdapterSetup setup;
  setup.serial = "A50285BI";
  bus.Plug(setup);
  auto ports = MakeSystemPorts(AdaptersOnlySetup(bus, counter));
  const std::vector<PortSurveyRow> rows = SurveyPorts(*ports);
  const std::string text = PortSurveyText(rows);
  EXPECT_EQ(text.substr(0, text.find('\n')),
            "LPT1  USB    FT232R A50285BI  ready: " + rows[0].measured)
      << text;
  EXPECT_EQ(rows[0].measured.rfind(
                "3.00 M pin updates a second (64 per unit of rate 46875, measured 6", 0),
            0u)
      << rows[0].measured;

  const QJsonArray array = QJsonDocument::fromJson(PortSurveyJson(rows).c_str()).array();
  ASSERT_EQ(array.size(), 3);
  const QJsonObject first = array[0].toObject();
  EXPECT_EQ(first["port"].toString(), "LPT1");
  EXPECT_EQ(first["kind"].toString(), "usb adapter");
  EXPECT_TRUE(first["address"].isNull());
  EXPECT_EQ(first["device"].toString(), "FT232R A50285BI");
  EXPECT_TRUE(first["reachable"].toBool());
  EXPECT_TRUE(first["reason"].isNull());
  EXPECT_EQ(first["measured"].toString().toStdString(), rows[0].measured);
  const QJsonObject second = array[1].toObject();
  EXPECT_EQ(second["address"].toString(), "0x278");
  EXPECT_FALSE(second["reachable"].toBool());
  EXPECT_EQ(second["reason"].toString(), "no parallel-port device has that base address");
  EXPECT_TRUE(second["remedy"].toString().startsWith("Load the parallel-port driver"));
}

}  // namespace
}  // namespace fennow
