// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <memory>

#include "app/LinkApp.h"
#include "app/QtDialogHost.h"
#include "app/TerminalKeys.h"
#include "link/Counter.h"
#include "ports/SystemPorts.h"
#include "ports/usb/libftdi/LibFtdiChip.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);

  fennow::MonotonicCounter counter;
  // The parallel ports the kernel has, then the USB link adapters libftdi finds.
  const std::unique_ptr<fennow::FtdiBus> usb = fennow::MakeLibFtdiBus();
  const std::unique_ptr<fennow::SystemPorts> port =
      fennow::MakeSystemPorts(fennow::SystemPortEnvironment(*usb, counter));
  fennow::QtDialogHost dialogs;
  fennow::TerminalKeys keys;
  fennow::WindowPlatform platform{*port, *port, counter, dialogs, keys};

  fennow::LinkApp(platform).InitInstance();
  return 0;
}
