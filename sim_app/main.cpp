// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator: the real main window, talking through the same link, capture and export code to a
// simulated Game Boy and lead instead of the parallel port, beside a window that says what that
// Game Boy does next. With --usb the lead goes through a simulated USB adapter (an FT232R whose
// USB round trips take 1 ms of real time), found and opened by the program's own ports as on a
// laptop without a parallel port, so the main window runs the USB back end.
//
//   fennow-link-sim [--usb] [--screen IMAGE] [--data RAWFILE]

#include <QApplication>
#include <QScreen>
#include <QStringList>
#include <cstdio>
#include <memory>

#include "app/LinkApp.h"
#include "app/LinkWindow.h"
#include "app/QtDialogHost.h"
#include "app/TerminalKeys.h"
#include "link/Counter.h"
#include "ports/PortDirectory.h"
#include "ports/SystemPorts.h"
#include "sim/SimulatedGameBoy.h"
#include "sim/SimulatedUsbLead.h"
#include "sim_app/SimulatorWindow.h"

namespace {

constexpr int kUsageError = 2;

struct Options {
  QString screen;
  QString data;
  bool usb = false;
};

int Usage(const QString& problem) {
  std::fprintf(
      stderr,
      "fennow-link-sim: %s\n"
      "usage: fennow-link-sim [--usb] [--screen IMAGE] [--data RAWFILE]\n"
      "  --usb            reach the Game Boy through a simulated USB adapter (FT232R) on LPT1\n"
      "  --screen IMAGE   the simulated Game Boy sends this picture, reduced to 160 x 144\n"
      "  --data RAWFILE   it sends this block of 1205 numbers (the Raw Data Format)\n",
      qPrintable(problem));
  return kUsageError;
}

// Parses the options into `options`; an error message when they are not usable.
QString ParseOptions(const QStringList& arguments, Options& options) {
  for (int i = 1; i < arguments.size(); ++i) {
    const QString& option = arguments[i];
    if (option == QLatin1String("--usb")) {
      options.usb = true;
      continue;
    }
    QString* target = option == QLatin1String("--screen") ? &options.screen
                      : option == QLatin1String("--data") ? &options.data
                                                          : nullptr;
    if (!target) return QStringLiteral("unknown option %1").arg(option);
    if (i + 1 >= arguments.size()) return QStringLiteral("%1 needs a file").arg(option);
    *target = arguments[++i];
  }
  return {};
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);

  Options options;
  if (const QString problem = ParseOptions(QApplication::arguments(), options);
      !problem.isEmpty()) {
    return Usage(problem);
  }

  fennow::MonotonicCounter counter;
  fennow::SimulatedGameBoy gameBoy([&counter] { return counter.Count(); });
  gameBoy.SetRecording(false);  // nobody reads the edge log here

  fennow::SimulatorWindow simulator(gameBoy);
  if (!options.data.isEmpty()) {
    if (!simulator.UseDataFile(options.data)) return Usage(simulator.StatusText());
    simulator.SetSending(fennow::SimulatorWindow::Sending::Data);
  }
  if (!options.screen.isEmpty()) {
    if (!simulator.UseScreenFile(options.screen)) return Usage(simulator.StatusText());
    simulator.SetSending(fennow::SimulatorWindow::Sending::Screen);
  }

  // The main window reaches the Game Boy straight through the parallel port's registers, on the
  // legacy addresses; or through the USB back end and a simulated adapter wired to them, which the
  // program's ports list and give to LPT1, as on a PC with no parallel port.
  fennow::PortIo* port = &gameBoy;
  fennow::LegacyPortDirectory legacy;
  fennow::PortDirectory* ports = &legacy;
  std::unique_ptr<fennow::SimulatedUsbLead> usb;
  std::unique_ptr<fennow::SystemPorts> host;
  if (options.usb) {
    usb = std::make_unique<fennow::SimulatedUsbLead>(gameBoy, counter);
    usb->Adapter().SetRecording(false);
    host = fennow::MakeSystemPorts(fennow::AdaptersOnlyEnvironment(usb->Bus(), counter));
    port = host.get();
    ports = host.get();
    simulator.SetLead(QStringLiteral("%1 on LPT1, simulated, 1 ms a USB round trip")
                          .arg(QString::fromStdString(usb->Name())));
  }

  fennow::QtDialogHost dialogs;
  fennow::TerminalKeys keys;
  fennow::WindowPlatform platform{*port, *ports, counter, dialogs, keys};
  fennow::LinkApp app(platform);
  app.SetCompanion(&simulator);
  app.InitInstance();
  return 0;
}
