// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator: the real main window, talking through the same link, capture and export code to a
// simulated Game Boy and lead instead of the parallel port, beside a window that says what that
// Game Boy does next. With --usb the lead goes through a simulated USB adapter (an FT232R whose
// USB round trips take 1 ms of real time), found and opened by the program's own ports as on a
// laptop without a parallel port, so the main window runs the USB back end.
//
// With a command (ports, test, capture) it runs headless, as the real program does, against the
// simulated Game Boy: --screen or --data says what it sends, the built-in picture by default.
//
//   fennow-link-sim [--usb] [--screen IMAGE] [--data RAWFILE] [command [options]]

#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <iostream>
#include <memory>
#include <variant>

#include "app/LinkApp.h"
#include "app/LinkWindow.h"
#include "app/QtDialogHost.h"
#include "app/TerminalKeys.h"
#include "cli/CommandLine.h"
#include "link/Counter.h"
#include "ports/PortDirectory.h"
#include "ports/SystemPorts.h"
#include "sim/SimulatedGameBoy.h"
#include "sim/SimulatedUsbLead.h"
#include "sim_app/SimPayloads.h"
#include "sim_app/SimulatorWindow.h"

namespace {

const QCommandLineOption kUsb(QStringLiteral("usb"),
                              QStringLiteral("Reach the Game Boy through a simulated USB adapter "
                                             "(FT232R) on LPT1."));
const QCommandLineOption kScreen(
    QStringLiteral("screen"),
    QStringLiteral("The simulated Game Boy sends this picture, reduced "
                   "to 160 x 144."),
    QStringLiteral("IMAGE"));
const QCommandLineOption kData(QStringLiteral("data"),
                               QStringLiteral("It sends this block of 1205 numbers (the Raw Data "
                                              "Format)."),
                               QStringLiteral("RAWFILE"));

// The simulated Game Boy and the lead to it, as the options set them up.
struct SimulatedMachine {
  explicit SimulatedMachine(bool overUsb) : gameBoy([this] { return counter.Count(); }) {
    gameBoy.SetRecording(false);  // nobody reads the edge log here
    // The main window reaches the Game Boy straight through the parallel port's registers, on
    // the legacy addresses; or through the USB back end and a simulated adapter wired to them,
    // which the program's ports list and give to LPT1, as on a PC with no parallel port.
    if (!overUsb) return;
    usb = std::make_unique<fennow::SimulatedUsbLead>(gameBoy, counter);
    usb->Adapter().SetRecording(false);
    host = fennow::MakeSystemPorts(fennow::AdaptersOnlySetup(usb->Bus(), counter));
    ports = host.get();
  }

  fennow::MonotonicCounter counter;
  fennow::SimulatedGameBoy gameBoy;
  fennow::LegacyPortDirectory legacy{gameBoy};
  fennow::PortDirectory* ports = &legacy;
  std::unique_ptr<fennow::SimulatedUsbLead> usb;
  std::unique_ptr<fennow::SystemPorts> host;
};

int RunWindow(int argc, char* argv[], const fennow::CommandLine& commandLine) {
  QApplication application(argc, argv);
  const QCommandLineParser& parser = commandLine.Parser();
  SimulatedMachine machine(parser.isSet(kUsb));

  fennow::SimulatorWindow simulator(machine.gameBoy);
  if (parser.isSet(kData)) {
    if (!simulator.UseDataFile(parser.value(kData))) {
      return commandLine.UsageError(simulator.StatusText().toStdString(), std::cerr);
    }
    simulator.SetSending(fennow::SimulatorWindow::Sending::Data);
  }
  if (parser.isSet(kScreen)) {
    if (!simulator.UseScreenFile(parser.value(kScreen))) {
      return commandLine.UsageError(simulator.StatusText().toStdString(), std::cerr);
    }
    simulator.SetSending(fennow::SimulatorWindow::Sending::Screen);
  }
  if (machine.usb) {
    simulator.SetLead(QStringLiteral("%1 on LPT1, simulated, 1 ms a USB round trip")
                          .arg(QString::fromStdString(machine.usb->Name())));
  }

  fennow::QtDialogHost dialogs;
  fennow::TerminalKeys keys;
  fennow::WindowPlatform platform{*machine.ports, machine.counter, dialogs, keys};
  fennow::LinkApp app(platform);
  app.SetCompanion(&simulator);
  app.InitInstance();
  return 0;
}

// What the Game Boy sends in a headless run: the picture or block named, the built-in picture
// otherwise. Empty when it is all set; otherwise what is wrong with the file.
std::string LoadPayload(const QCommandLineParser& parser, fennow::SimulatedGameBoy& gameBoy) {
  if (parser.isSet(kScreen)) {
    auto loaded = fennow::LoadScreenImage(parser.value(kScreen));
    if (auto* error = std::get_if<std::string>(&loaded)) return *error;
    gameBoy.LoadScreen(std::get<fennow::ScreenBytes>(loaded));
  } else if (parser.isSet(kData)) {
    auto loaded = fennow::LoadRawData(parser.value(kData));
    if (auto* error = std::get_if<std::string>(&loaded)) return *error;
    gameBoy.LoadData(std::get<fennow::DataBytes>(loaded));
  } else {
    gameBoy.LoadScreen(fennow::BuiltInScreen());
  }
  return {};
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication::setApplicationName(QStringLiteral("fennow-link-sim"));
  QCoreApplication::setApplicationVersion(QStringLiteral(FENNOW_VERSION));
  fennow::CommandLine commandLine(
      "fennow-link-sim",
      QStringLiteral("The program against a simulated Game Boy: its window beside one that sets "
                     "the Game Boy up, or its commands run headless."));
  commandLine.Parser().addOptions({kUsb, kScreen, kData});
  if (auto problem = commandLine.Parse(fennow::ArgumentsOf(argc, argv))) {
    return commandLine.UsageError(*problem, std::cerr);
  }
  if (commandLine.WantsWindow()) return RunWindow(argc, argv, commandLine);

  // The built-in picture is drawn with a font, which takes a GUI application; the offscreen
  // platform gives one without a display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  const QCommandLineParser& parser = commandLine.Parser();
  if (commandLine.HelpAsked()) commandLine.Parser().showHelp(0);
  if (commandLine.VersionAsked()) commandLine.Parser().showVersion();
  if (parser.isSet(kScreen) && parser.isSet(kData)) {
    return commandLine.UsageError("--screen and --data: the Game Boy sends one or the other",
                                  std::cerr);
  }
  SimulatedMachine machine(parser.isSet(kUsb));
  if (const std::string problem = LoadPayload(parser, machine.gameBoy); !problem.empty()) {
    return commandLine.UsageError(problem, std::cerr);
  }
  const fennow::CommandOptions& options = commandLine.Options();
  if (options.command == fennow::Command::Test) {
    // The lead test is run with the lead out of the Game Boy and looped back, as a sound lead is.
    machine.gameBoy.SetConnection(fennow::Connection::StuckSet);
    machine.gameBoy.SetLoopWiring(fennow::LoopWiring::Inverted);
  }
  fennow::TerminalKeys keys;
  fennow::CommandPlatform platform{*machine.ports, machine.counter, keys,
                                   std::cout,      std::cerr,       isatty(STDERR_FILENO) == 1};
  return static_cast<int>(fennow::RunCommand(options, platform));
}
