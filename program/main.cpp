// SPDX-License-Identifier: GPL-3.0-or-later
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <iostream>
#include <memory>

#include "app/LinkApp.h"
#include "app/QtDialogHost.h"
#include "app/TerminalKeys.h"
#include "cli/CommandLine.h"
#include "link/Counter.h"
#include "ports/SystemPorts.h"
#include "ports/usb/libftdi/LibFtdiChip.h"

namespace {

int RunWindow(int argc, char* argv[], fennow::SystemPorts& ports, fennow::Counter& counter) {
  QApplication application(argc, argv);
  fennow::QtDialogHost dialogs;
  fennow::TerminalKeys keys;
  fennow::WindowPlatform platform{ports, counter, dialogs, keys};
  fennow::LinkApp(platform).InitInstance();
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication::setApplicationName(QStringLiteral("fennow-link"));
  QCoreApplication::setApplicationVersion(QStringLiteral(FENNOW_VERSION));
  fennow::CommandLine commandLine(
      "fennow-link", QStringLiteral("Fetches a screen or a data block from a Game Boy over its "
                                    "link lead, on a parallel port or a USB adapter."));
  if (auto problem = commandLine.Parse(fennow::ArgumentsOf(argc, argv))) {
    return commandLine.UsageError(*problem, std::cerr);
  }

  fennow::MonotonicCounter counter;
  // The parallel ports the kernel has, then the USB link adapters libftdi finds.
  const std::unique_ptr<fennow::FtdiBus> usb = fennow::MakeLibFtdiBus();
  fennow::SystemPortsSetup setup = fennow::MachineSetup(*usb, counter);
  const fennow::CommandOptions& options = commandLine.Options();
  // The survey reports every port itself; the log would say it all again.
  if (options.command == fennow::Command::Ports) setup.log = nullptr;
  const std::unique_ptr<fennow::SystemPorts> ports = fennow::MakeSystemPorts(setup);
  if (commandLine.WantsWindow()) return RunWindow(argc, argv, *ports, counter);

  QCoreApplication application(argc, argv);
  if (commandLine.HelpAsked()) commandLine.Parser().showHelp(0);
  if (commandLine.VersionAsked()) commandLine.Parser().showVersion();
  fennow::TerminalKeys keys;
  fennow::CommandPlatform platform{*ports,    counter,   keys,
                                   std::cout, std::cerr, isatty(STDERR_FILENO) == 1};
  return static_cast<int>(fennow::RunCommand(options, platform));
}
