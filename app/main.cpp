#include <QApplication>
#include <memory>

#include "app/LinkApp.h"
#include "app/QtDialogHost.h"
#include "app/TerminalKeys.h"
#include "link/Counter.h"
#include "link/HostPort.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);

  const std::unique_ptr<fennow::HostPort> port = fennow::MakeHostPort();
  fennow::MonotonicCounter counter;
  fennow::QtDialogHost dialogs;
  fennow::TerminalKeys keys;
  fennow::WindowPlatform platform{*port, *port, counter, dialogs, keys};

  fennow::LinkApp(platform).InitInstance();
  return 0;
}
