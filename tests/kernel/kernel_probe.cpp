// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own road to a parallel port, headless, for the checks that run it in a guest on
// the kernel's real drivers (scripts/check-kernel): the system's ports as the window finds them,
// the chosen port reached as the window reaches it, then the transfer or the lead test and the
// save, every message printed as the window would show it.
//   fennow-kernel-probe ports                     what LPT1-3 reach, and whether each is reached
//   fennow-kernel-probe transfer FILE [LPTn]      a transfer, then the screen or data saved
//   fennow-kernel-probe test [LPTn]               the lead test
//   fennow-kernel-probe twice FILE1 FILE2 SIGNAL  two transfers on LPT1 in one run, the port let
//                                                 go between them as the window lets it go; the
//                                                 second starts once the file SIGNAL is there
//   fennow-kernel-probe hold DEVICE SECONDS       claims a device, shared, and keeps it
//   fennow-kernel-probe expect screen|data FILE   the file a transfer of the guest's Game Boy
//                                                 saves, made against the simulated Game Boy
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "capture/CaptureStore.h"
#include "capture/LeadTest.h"
#include "capture/Transfer.h"
#include "export/Exporters.h"
#include "link/Counter.h"
#include "link/LinkSession.h"
#include "link/Protocol.h"
#include "ports/ChosenPort.h"
#include "ports/PortSelection.h"
#include "ports/SystemPorts.h"
#include "ports/parport/DirectPort.h"
#include "sim/SimulatedGameBoy.h"
#include "sim/VirtualCounter.h"
#include "tests/kernel/GuestGameBoy.h"

namespace fennow {
namespace {

// The window's services on standard output: every box as one line, its title and text; the save
// dialog answers with the file given.
class PrintingServices final : public WindowServices {
 public:
  explicit PrintingServices(std::string saveAs = {}) : saveAs_(std::move(saveAs)) {}
  void SetLamp(Lamp, bool) override {}
  void SetProgress(std::int32_t) override {}
  void ShowMessage(const std::string& text, const std::string& title, MessageStyle) override {
    std::string flat = text;
    for (char& c : flat) c = c == '\n' ? ' ' : c;
    std::printf("message: %s: %s\n", title.c_str(), flat.c_str());
    std::fflush(stdout);
  }
  bool KeyPressed() override { return false; }
  SaveAnswer RunSaveDialog(const SaveRequest&) override { return {IDOK, saveAs_}; }

 private:
  std::string saveAs_;
};

PortChoice ChoiceNamed(const std::string& name) {
  if (name == "LPT2") return PortChoice::LPT2;
  if (name == "LPT3") return PortChoice::LPT3;
  return PortChoice::LPT1;
}

SystemPortsSetup Machine() {
  SystemPortsSetup setup;
  setup.openDirect = OpenDirectPort;
  setup.log = &std::cerr;
  return setup;
}

void Save(const CaptureStore& store, WindowServices& ui) {
  std::string savePath;
  ScreenLook look;
  if (store.Kind == CaptureKind::Screen) SaveScreenBitmap(store, ui, savePath, look);
  if (store.Kind == CaptureKind::Data) SaveRawData(store, ui, savePath);
}

int Ports() {
  SystemPorts ports(Machine());
  const PortTable table = ports.Ports();
  for (const PortChoice choice : {PortChoice::LPT1, PortChoice::LPT2, PortChoice::LPT3}) {
    const PortTarget& target = TargetOf(table, choice);
    const std::optional<PortProblem> problem = ports.Reach(target).problem;
    std::printf("port: %s %s %s\n", AddressesOf(choice).name.data(), target.name.c_str(),
                problem ? WhyText(*problem).c_str() : "reached");
  }
  return 0;
}

// Operates on the chosen port as the window does: choose, reach (telling why not), then run.
template <typename Operation>
int OnChosenPort(const std::string& choiceName, PrintingServices& ui, Operation operate) {
  MonotonicCounter counter;
  SystemPorts ports(Machine());
  LinkSession link(counter);
  const PortChoice choice = ChoiceNamed(choiceName);
  const ChosenPort chosen{choice, SelectPort(link.port, choice, ports.Ports(), ui)};
  PortNotices notices;
  ReachChosenPort(chosen, ports, notices, ui, link);
  return operate(link);
}

int Transfer(const std::string& file, const std::string& choice) {
  PrintingServices ui(file);
  return OnChosenPort(choice, ui, [&](LinkSession& link) {
    CaptureStore store;
    const TransferStatus status = StartTransfer(link, ui, store);
    if (status == TransferStatus::Success) Save(store, ui);
    return static_cast<int>(status);
  });
}

int Twice(const std::string& first, const std::string& second, const std::string& signal) {
  MonotonicCounter counter;
  SystemPorts ports(Machine());
  LinkSession link(counter);
  PrintingServices quiet;
  const ChosenPort chosen{PortChoice::LPT1,
                          SelectPort(link.port, PortChoice::LPT1, ports.Ports(), quiet)};
  PortNotices notices;
  int status = 0;
  for (const std::string& file : {first, second}) {
    PrintingServices ui(file);
    ReachChosenPort(chosen, ports, notices, ui, link);
    CaptureStore store;
    status = static_cast<int>(StartTransfer(link, ui, store));
    if (status == 0) Save(store, ui);
    ReleaseChosenPort(chosen, ports, link);
    if (file != first) break;
    std::printf("between transfers\n");
    std::fflush(stdout);
    for (int waited = 0; waited < 600 && access(signal.c_str(), F_OK) != 0; ++waited) {
      usleep(100'000);
    }
  }
  return status;
}

int Test(const std::string& choice) {
  PrintingServices ui;
  return OnChosenPort(choice, ui, [&](LinkSession& link) { return TestLink(link, ui) ? 0 : 1; });
}

int Hold(const std::string& device, int seconds) {
  const int fd = open(device.c_str(), O_RDWR);
  if (fd < 0 || ioctl(fd, PPCLAIM) != 0) {
    std::perror(device.c_str());
    return 1;
  }
  std::printf("holding %s\n", device.c_str());
  std::fflush(stdout);
  sleep(static_cast<unsigned>(seconds));
  return 0;
}

int Expect(const std::string& mode, const std::string& file) {
  VirtualCounter counter(1000);
  SimulatedGameBoy gameBoy([&counter] { return counter.Now(); });
  gameBoy.SetRecording(false);
  gameBoy.LoadScreen(kernel::ScreenRows());
  gameBoy.LoadData(kernel::DataBlock());
  gameBoy.SetModeByte(mode == "screen" ? kModeScreen : kModeData);
  LinkSession link(gameBoy, counter);
  PrintingServices ui(file);
  CaptureStore store;
  if (StartTransfer(link, ui, store) != TransferStatus::Success) return 1;
  Save(store, ui);
  return 0;
}

}  // namespace
}  // namespace fennow

int main(int argc, char* argv[]) {
  const std::string command = argc > 1 ? argv[1] : "";
  const auto arg = [&](int i, const char* otherwise = "") {
    return std::string(argc > i ? argv[i] : otherwise);
  };
  if (command == "ports") return fennow::Ports();
  if (command == "transfer" && argc > 2) return fennow::Transfer(arg(2), arg(3, "LPT1"));
  if (command == "test") return fennow::Test(arg(2, "LPT1"));
  if (command == "twice" && argc > 4) return fennow::Twice(arg(2), arg(3), arg(4));
  if (command == "hold" && argc > 3) return fennow::Hold(arg(2), std::stoi(arg(3)));
  if (command == "expect" && argc > 3) return fennow::Expect(arg(2), arg(3));
  std::fprintf(stderr,
               "usage: fennow-kernel-probe ports | transfer FILE [LPTn] | test [LPTn] | "
               "twice FILE1 FILE2 SIGNAL | hold DEVICE SECONDS | expect screen|data FILE\n");
  return 2;
}
