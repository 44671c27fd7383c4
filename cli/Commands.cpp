// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Commands.h"

#include <array>
#include <ctime>
#include <utility>

#include "capture/CaptureStore.h"
#include "capture/LeadTest.h"
#include "capture/Transfer.h"
#include "cli/ConsoleServices.h"
#include "cli/OutputNames.h"
#include "cli/PortSurvey.h"
#include "export/Exporters.h"
#include "link/LinkSession.h"
#include "link/Protocol.h"
#include "ports/ChosenPort.h"
#include "ports/PortSelection.h"

namespace fennow {

namespace {

constexpr std::array<std::pair<TransferStatus, ExitStatus>, 5> kTransferExits{{
    {TransferStatus::Success, ExitStatus::Success},
    {TransferStatus::SyncTimeout, ExitStatus::SyncTimeout},
    {TransferStatus::KeyExit, ExitStatus::KeyExit},
    {TransferStatus::AcknowledgeError, ExitStatus::AcknowledgeError},
    {TransferStatus::PortLost, ExitStatus::PortLost},
}};

ExitStatus ExitFor(TransferStatus status) {
  for (const auto& [transfer, exit] : kTransferExits) {
    if (transfer == status) return exit;
  }
  return ExitStatus::AcknowledgeError;
}

// The lead of one command: the chosen port, readied. Let go as the window lets go at its close:
// both lines low, held so for the protocol's idle time.
class Lead {
 public:
  Lead(CommandPlatform& platform, PortChoice choice)
      : platform_(platform), link_(platform.counter) {
    chosen_ = {choice, TargetOf(platform.ports.Ports(), choice)};
    PointPortAt(link_.port, choice, chosen_.target);
  }
  ~Lead() {
    if (!used_) return;
    link_.lines.Clear(LinkClock | LinkDataOut);
    link_.delay.DelayMilliseconds(kCloseIdleMs);
  }
  Lead(const Lead&) = delete;
  Lead& operator=(const Lead&) = delete;

  // False, after saying why in the window's "Interface Port" words, when the port cannot be
  // reached: the command then ends instead of timing out against nothing.
  bool Reach(WindowServices& ui) {
    PortNotices notices;
    if (ReachChosenPort(chosen_, platform_.ports, notices, ui, link_)) return false;
    used_ = true;
    return true;
  }

  LinkSession& Link() { return link_; }

 private:
  CommandPlatform& platform_;
  LinkSession link_;
  ChosenPort chosen_;
  bool used_ = false;
};

ExitStatus RunPorts(const CommandOptions& options, CommandPlatform& platform) {
  const std::vector<PortSurveyRow> rows = SurveyPorts(platform.ports);
  platform.out << (options.json ? PortSurveyJson(rows) : PortSurveyText(rows)) << std::flush;
  return ExitStatus::Success;
}

ExitStatus RunTest(const CommandOptions& options, CommandPlatform& platform) {
  ConsoleServices console(platform.err, platform.keys, platform.drawBar);
  Lead lead(platform, options.port);
  if (!lead.Reach(console)) return ExitStatus::PortUnreachable;
  if (TestLink(lead.Link(), console)) return ExitStatus::Success;
  return lead.Link().lines.LostReason().empty() ? ExitStatus::NoLoopBack : ExitStatus::PortLost;
}

std::string TimeName() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char text[32] = "fennow";
  if (::localtime_r(&now, &local) != nullptr) {
    std::strftime(text, sizeof text, "fennow-%Y%m%d-%H%M%S", &local);
  }
  return text;
}

FileFormat FormatFor(const CommandOptions& options, CaptureKind kind) {
  if (options.format) return *options.format;
  if (kind == CaptureKind::Data) return FileFormat::RawText;
  return options.lookGiven ? FileFormat::Png : FileFormat::Bitmap;
}

ExitStatus RunCapture(const CommandOptions& options, CommandPlatform& platform) {
  ConsoleServices console(platform.err, platform.keys, platform.drawBar);
  Lead lead(platform, options.port);
  if (!lead.Reach(console)) return ExitStatus::PortUnreachable;
  const bool named = !options.output.empty();
  const std::string pattern = named ? options.output : TimeName();
  CaptureStore store;
  for (int n = 1; n <= options.count; ++n) {
    const TransferStatus status = StartTransfer(lead.Link(), console, store);
    if (status != TransferStatus::Success) return ExitFor(status);
    const FileFormat format = FormatFor(options, store.Kind);
    std::string path = OutputName(pattern, n).value_or(pattern);
    if (!named) path += "." + std::string(RowOf(format).name);
    const SaveOutcome saved = SaveCaptureAs(store, console, path, format, options.look);
    if (saved == SaveOutcome::WrongKind) return ExitStatus::WrongKind;
    if (saved != SaveOutcome::Saved) return ExitStatus::SaveFailed;
    platform.out << "Saved " << path << '\n' << std::flush;
  }
  return ExitStatus::Success;
}

}  // namespace

ExitStatus RunCommand(const CommandOptions& options, CommandPlatform& platform) {
  switch (options.command) {
    case Command::Ports:
      return RunPorts(options, platform);
    case Command::Test:
      return RunTest(options, platform);
    case Command::Capture:
      return RunCapture(options, platform);
    case Command::Window:
      break;
  }
  return ExitStatus::Usage;
}

}  // namespace fennow
