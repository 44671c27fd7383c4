// The simulator: the real main window, talking through the same link, capture and export code to a
// simulated Game Boy and lead instead of the parallel port, beside a window that says what that
// Game Boy does next.
//
//   fennow-link-sim [--screen IMAGE] [--data RAWFILE]

#include <QApplication>
#include <QScreen>
#include <QStringList>
#include <cstdio>

#include "app/LinkApp.h"
#include "app/LinkWindow.h"
#include "app/QtDialogHost.h"
#include "app/TerminalKeys.h"
#include "link/Counter.h"
#include "link/PortDirectory.h"
#include "sim/SimulatedGameBoy.h"
#include "sim_app/SimulatorWindow.h"

namespace {

constexpr int kUsageError = 2;

struct Preload {
  QString screen;
  QString data;
};

int Usage(const QString& problem) {
  std::fprintf(
      stderr,
      "fennow-link-sim: %s\n"
      "usage: fennow-link-sim [--screen IMAGE] [--data RAWFILE]\n"
      "  --screen IMAGE   the simulated Game Boy sends this picture, reduced to 160 x 144\n"
      "  --data RAWFILE   it sends this block of 1205 numbers (the Raw Data Format)\n",
      qPrintable(problem));
  return kUsageError;
}

// Parses the options into `preload`; an error message when they are not usable.
QString ParseOptions(const QStringList& arguments, Preload& preload) {
  for (int i = 1; i < arguments.size(); ++i) {
    const QString& option = arguments[i];
    QString* target = option == QLatin1String("--screen") ? &preload.screen
                      : option == QLatin1String("--data") ? &preload.data
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

  Preload preload;
  if (const QString problem = ParseOptions(QApplication::arguments(), preload);
      !problem.isEmpty()) {
    return Usage(problem);
  }

  fennow::MonotonicCounter counter;
  fennow::SimulatedGameBoy gameBoy([&counter] { return counter.Count(); });
  gameBoy.SetRecording(false);  // nobody reads the edge log here

  fennow::SimulatorWindow simulator(gameBoy);
  if (!preload.data.isEmpty()) {
    if (!simulator.UseDataFile(preload.data)) return Usage(simulator.StatusText());
    simulator.SetSending(fennow::SimulatorWindow::Sending::Data);
  }
  if (!preload.screen.isEmpty()) {
    if (!simulator.UseScreenFile(preload.screen)) return Usage(simulator.StatusText());
    simulator.SetSending(fennow::SimulatorWindow::Sending::Screen);
  }

  fennow::QtDialogHost dialogs;
  fennow::TerminalKeys keys;
  fennow::LegacyPortDirectory ports;  // the simulated Game Boy sits on the legacy addresses
  fennow::WindowPlatform platform{gameBoy, ports, counter, dialogs, keys};
  fennow::LinkApp app(platform);
  app.SetCompanion(&simulator);
  app.InitInstance();
  return 0;
}
