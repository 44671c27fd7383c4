#include <QApplication>
#include <memory>

#include "app/LinkApp.h"
#include "app/QtDialogHost.h"
#include "app/TerminalKeys.h"
#include "link/Counter.h"
#include "link/HostPort.h"
#include "link/LibFtdiChip.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);

  fennow::MonotonicCounter counter;
  // The parallel ports the kernel has, then the USB link adapters libftdi finds.
  const std::unique_ptr<fennow::FtdiBus> usb = fennow::MakeLibFtdiBus();
  const std::unique_ptr<fennow::HostPort> port =
      fennow::MakeHostPort(fennow::SystemPortEnvironment(*usb, counter));
  fennow::QtDialogHost dialogs;
  fennow::TerminalKeys keys;
  fennow::WindowPlatform platform{*port, *port, counter, dialogs, keys};

  fennow::LinkApp(platform).InitInstance();
  return 0;
}
