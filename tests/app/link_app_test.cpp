// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "app/LinkApp.h"
#include "tests/support/WindowRig.h"

namespace fennow {
namespace {

TEST(LinkApp, RunsTheWindowOnceThenIdlesTheLeadAndReturnsFalse) {
  test::TestApp();
  test::FixedStatusPort port;
  VirtualCounter counter(100'000);
  test::ScriptedDialogs dialogs;
  test::ScriptedKeys keys;
  LegacyPortDirectory ports{port};
  WindowPlatform platform{ports, counter, dialogs, keys};

  const struct { bool accept; } endings[] = {{false}, {true}};
  for (const auto& ending : endings) {
    SCOPED_TRACE(ending.accept);
    port.writes.clear();
    const std::int64_t before = counter.Now();
    int shown = 0;
    std::size_t writesWhileShown = 99;
    test::WhenShown<LinkWindow>([&](LinkWindow& window) {
      ++shown;
      writesWhileShown = port.writes.size();
      if (ending.accept) {
        window.accept();
      } else {
        window.reject();
      }
    });
    EXPECT_FALSE(LinkApp(platform).InitInstance());
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(writesWhileShown, 0u);
    EXPECT_EQ(port.writes, (std::vector<std::pair<std::uint16_t, std::uint8_t>>{{0x378, 0}}));
    EXPECT_GE(counter.Now() - before, 2'000'000'000);
    // The window is gone once start-up returns.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      EXPECT_EQ(qobject_cast<LinkWindow*>(widget), nullptr);
    }
  }
}

}  // namespace
}  // namespace fennow
