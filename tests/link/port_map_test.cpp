#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "link/HostPort.h"
#include "link/LinkPort.h"
#include "tests/support/FakeParport.h"
#include "tests/support/FakeServices.h"

namespace fennow {
namespace {

struct MapCase {
  const char* what;
  // Ports as /proc lists them: the folder and its base-addr text, in the order they are made.
  std::vector<std::pair<const char*, const char*>> listed;
  std::array<std::uint16_t, 3> bases;  // what LPT1, LPT2 and LPT3 reach
  friend void PrintTo(const MapCase& c, std::ostream* os) { *os << c.what; }
};

class PortMapping : public ::testing::TestWithParam<MapCase> {};

// The choices as the window offers them: from the ports the kernel lists, through the real host
// port, to the addresses the link then uses and the confirmation the user reads.
TEST_P(PortMapping, EachChoiceReachesItsPortAndNamesItsAddress) {
  const MapCase& c = GetParam();
  const test::FakeParportTree tree(c.what);
  for (const auto& [name, baseAddr] : c.listed) tree.AddPort(name, baseAddr);
  HostPortEnvironment environment;
  environment.parportProcRoot = tree.proc().string();
  environment.deviceRoot = tree.dev().string();
  HostPort host(environment);

  const PortTable table = host.Ports();
  const PortChoice choices[] = {PortChoice::LPT1, PortChoice::LPT2, PortChoice::LPT3};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(AddressesOf(choices[i]).name);
    LinkPort port;
    port.OutputLatch = 0x05;
    test::FakeServices ui;
    const PortTarget chosen = SelectPort(port, choices[i], table, ui);

    EXPECT_EQ(chosen.base, c.bases[i]);
    EXPECT_EQ(port.DataPort, c.bases[i]);
    EXPECT_EQ(port.StatusPort, c.bases[i] + 1u);
    EXPECT_EQ(port.OutputLatch, 0x05u);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0],
              (test::Message{"Interface Port set to " + std::string(AddressesOf(choices[i]).name) +
                                 " (" + HexAddress(c.bases[i]) + ")",
                             "Interface Port", MessageStyle::MB_ICONINFORMATION}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Machines, PortMapping,
    ::testing::Values(
        MapCase{"LegacyOnly",
                {{"parport0", "888\t0\n"}, {"parport1", "632\t1656\n"}, {"parport2", "956\t0\n"}},
                {0x378, 0x278, 0x3BC}},
        MapCase{"OneCard", {{"parport0", "53264\t53248\n"}}, {0xD010, 0x278, 0x3BC}},
        MapCase{"LegacyPlusCard",
                {{"parport0", "888\t1912\n"}, {"parport1", "53264\t53248\n"}},
                {0x378, 0xD010, 0x3BC}},
        MapCase{"TwoCards",
                {{"parport0", "53264\t53248\n"}, {"parport1", "57360\t57344\n"}},
                {0xD010, 0xE010, 0x3BC}},
        // The onboard port keeps LPT2, so the card goes to LPT1, the first choice left.
        MapCase{"CardPlusLegacyAtAnotherChoice",
                {{"parport0", "632\t0\n"}, {"parport1", "53264\t53248\n"}},
                {0xD010, 0x278, 0x3BC}},
        MapCase{"CardBeforeLegacyAtLpt3",
                {{"parport0", "49152\t0\n"}, {"parport1", "956\t0\n"}},
                {0xC000, 0x278, 0x3BC}},
        // parportN order is by number, not by name: parport2 comes before parport10.
        MapCase{"NumberedPastNine",
                {{"parport10", "57360\t57344\n"}, {"parport2", "53264\t53248\n"}},
                {0xD010, 0xE010, 0x3BC}},
        MapCase{"FourCardsFillAllThree",
                {{"parport0", "53264\t0\n"},
                 {"parport1", "53280\t0\n"},
                 {"parport2", "53296\t0\n"},
                 {"parport3", "53312\t0\n"}},
                {0xD010, 0xD020, 0xD030}},
        MapCase{"NoPorts", {}, {0x378, 0x278, 0x3BC}}),
    [](const auto& param) { return std::string(param.param.what); });

}  // namespace
}  // namespace fennow
