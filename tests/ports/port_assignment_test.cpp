// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "link/LinkLines.h"
#include "ports/PortSelection.h"
#include "ports/SystemPorts.h"
#include "sim/SimulatedFtdiBus.h"
#include "sim/VirtualCounter.h"
#include "tests/support/FakeParport.h"
#include "tests/support/FakeServices.h"

namespace fennow {
namespace {

// A USB link adapter on the bus.
struct Plugged {
  std::uint16_t product;  // 0x6001 FT232R, 0x6014 FT232H
  const char* serial;
  bool serialUnreadable = false;
};

struct MapCase {
  const char* what;
  // Ports as /proc lists them: the folder and its base-addr text, in the order they are made.
  std::vector<std::pair<const char*, const char*>> listed;
  std::array<std::uint16_t, 3> bases;  // what LPT1, LPT2 and LPT3 reach
  std::vector<Plugged> adapters = {};  // in the order they were plugged in
  // How the confirmation names what each choice reaches, where that is an adapter and not the
  // address.
  std::array<const char*, 3> adapterNames = {};
  friend void PrintTo(const MapCase& c, std::ostream* os) { *os << c.what; }
};

class PortAssignments : public ::testing::TestWithParam<MapCase> {};

// The choices as the window offers them: from the ports the kernel lists and the adapters on the
// USB bus, through the real host port, to the addresses the link then uses and the confirmation
// the user reads.
TEST_P(PortAssignments, EachChoiceReachesItsPortAndNamesIt) {
  const MapCase& c = GetParam();
  const test::FakeParportTree tree(c.what);
  for (const auto& [name, baseAddr] : c.listed) tree.AddPort(name, baseAddr);
  VirtualCounter counter;
  SimulatedFtdiBus bus(counter);
  for (const Plugged& adapter : c.adapters) {
    SimulatedAdapterSetup setup;
    setup.product = adapter.product;
    setup.serial = adapter.serial;
    setup.faults.serialUnreadable = adapter.serialUnreadable;
    bus.Plug(setup);
  }
  SystemPortsSetup environment;
  environment.parportProcRoot = tree.proc().string();
  environment.deviceRoot = tree.dev().string();
  environment.usbBus = &bus;
  environment.counter = &counter;
  SystemPorts host(environment);

  const PortTable table = host.Ports();
  const PortChoice choices[] = {PortChoice::LPT1, PortChoice::LPT2, PortChoice::LPT3};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(AddressesOf(choices[i]).name);
    LinkPort port;
    port.OutputLatch = 0x05;
    test::FakeServices ui;
    const PortTarget chosen = SelectPort(port, choices[i], table, ui);

    const bool adapter = c.adapterNames[i] != nullptr;
    const std::string shown = adapter ? c.adapterNames[i] : HexAddress(c.bases[i]);
    EXPECT_EQ(chosen.base, adapter ? 0 : c.bases[i]);  // an adapter has no address of its own
    EXPECT_EQ(chosen.kind, adapter ? PortKind::UsbAdapter : PortKind::ParallelPort);
    EXPECT_EQ(port.DataPort, c.bases[i]);
    EXPECT_EQ(port.StatusPort, c.bases[i] + 1u);
    EXPECT_EQ(port.OutputLatch, 0x05u);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0],
              (test::Message{"Interface Port set to " + std::string(AddressesOf(choices[i]).name) +
                                 " (" + shown + ")",
                             "Interface Port", MessageStyle::MB_ICONINFORMATION}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Machines, PortAssignments,
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
        MapCase{"NoPorts", {}, {0x378, 0x278, 0x3BC}},
        // Only what the kernel writes is taken: each of these, read loosely, would put a port of
        // its own at LPT1.
        MapCase{"BaseAddrNotAsTheKernelWritesIt",
                {{"parport0", "0xD010\n"},
                 {"parport1", "53264abc\n"},
                 {"parport2", "5e4\n"},
                 {"parport3", "53264 53248\n"},
                 {"parport4", "53264\t53248"},
                 {"parport5", "053264\t0\n"},
                 {"parport6", "65535\t0\n"},
                 {"parport7", ""}},
                {0x378, 0x278, 0x3BC}},
        MapCase{
            "HighestBaseWithAStatusRegister", {{"parport0", "65534\t0\n"}}, {0xFFFE, 0x278, 0x3BC}},
        MapCase{"FolderNamesNotAsTheKernelNamesThem",
                {{"parport01", "57360\t0\n"},
                 {"parport", "57376\t0\n"},
                 {"parport+2", "57392\t0\n"},
                 {"parportx", "57408\t0\n"},
                 {"Parport3", "57424\t0\n"},
                 {"parport999999", "57440\t0\n"},
                 {"parport1", "53264\t53248\n"}},
                {0xD010, 0x278, 0x3BC}},
        // USB adapters come after the parallel ports and take the addresses of their choice.
        MapCase{"OneAdapter",
                {},
                {0x378, 0x278, 0x3BC},
                {{0x6001, "A50285BI"}},
                {"USB FT232R A50285BI", nullptr, nullptr}},
        MapCase{"LegacyPlusAdapter",
                {{"parport0", "888\t1912\n"}},
                {0x378, 0x278, 0x3BC},
                {{0x6001, "A50285BI"}},
                {nullptr, "USB FT232R A50285BI", nullptr}},
        MapCase{"LegacyAtLpt2PlusAdapter",
                {{"parport0", "632\t0\n"}},
                {0x378, 0x278, 0x3BC},
                {{0x6001, "A50285BI"}},
                {"USB FT232R A50285BI", nullptr, nullptr}},
        // By serial number, whatever the order they were plugged in or the chip.
        MapCase{"CardPlusTwoAdapters",
                {{"parport0", "53264\t53248\n"}},
                {0xD010, 0x278, 0x3BC},
                {{0x6014, "FT5XKQ2A"}, {0x6001, "A50285BI"}},
                {nullptr, "USB FT232R A50285BI", "USB FT232H FT5XKQ2A"}},
        MapCase{"AdapterWithItsSerialUnreadableComesLast",
                {},
                {0x378, 0x278, 0x3BC},
                {{0x6001, "A0000001", true}, {0x6001, "B7000002"}},
                {"USB FT232R B7000002", "USB FT232R (serial number unreadable)", nullptr}},
        MapCase{"NoChoiceLeftForTheAdapter",
                {{"parport0", "888\t0\n"}, {"parport1", "632\t0\n"}, {"parport2", "956\t0\n"}},
                {0x378, 0x278, 0x3BC},
                {{0x6001, "A50285BI"}}}),
    [](const auto& param) { return std::string(param.param.what); });

}  // namespace
}  // namespace fennow
