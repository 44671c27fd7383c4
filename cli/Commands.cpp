// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Commands.h"

#include <array>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
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

// The format a capture of `kind` goes out in when none was asked for, or when the one asked for
// takes the other kind: a data block as the raw text file, a screen as the bitmap, or as PNG when
// its look was given.
FileFormat OwnFormat(const CommandOptions& options, CaptureKind kind) {
  if (kind == CaptureKind::Data) return FileFormat::RawText;
  return options.lookGiven ? FileFormat::Png : FileFormat::Bitmap;
}

FileFormat FormatFor(const CommandOptions& options, CaptureKind kind) {
  return options.format.value_or(OwnFormat(options, kind));
}

// `path` with the extension of `format` in place of a format's extension, or added.
std::string WithExtensionOf(const std::string& path, FileFormat format) {
  std::filesystem::path named(path);
  const std::string extension = named.extension().string();
  const std::string wanted(RowOf(format).name);
  if (!extension.empty() && FormatNamed(extension.substr(1))) {
    named.replace_extension(wanted);
  } else {
    named += "." + wanted;
  }
  return named.string();
}

// Saves a capture that came, whatever stood in the way of the save asked for; nothing that came
// is thrown away. A capture of the other kind goes out under the same name in its own kind's
// format; one that could not be written there goes into the current or the temporary folder.
// Each file saved is named on `out`. Returns the run's status: the save asked for, or why not.
ExitStatus Keep(const CaptureStore& store, ConsoleServices& console, std::ostream& out,
                const CommandOptions& options, std::string path) {
  FileFormat format = FormatFor(options, store.Kind);
  SaveOutcome saved = SaveCaptureAs(store, console, path, format, options.look);
  ExitStatus status = ExitStatus::Success;
  if (saved == SaveOutcome::WrongKind) {
    status = ExitStatus::WrongKind;
    format = OwnFormat(options, store.Kind);
    path = WithExtensionOf(path, format);
    saved = SaveCaptureAs(store, console, path, format, options.look);
  }
  if (saved != SaveOutcome::Saved) {
    status = status == ExitStatus::Success ? ExitStatus::SaveFailed : status;
    format = OwnFormat(options, store.Kind);
    const std::optional<std::string> rescue =
        RescueName(WithExtensionOf(std::filesystem::path(path).filename().string(), format));
    if (!rescue) return status;
    path = *rescue;
    if (SaveCaptureAs(store, console, path, format, options.look) != SaveOutcome::Saved) {
      return status;
    }
  }
  out << "Saved " << path << '\n' << std::flush;
  return status;
}

ExitStatus RunCapture(const CommandOptions& options, CommandPlatform& platform) {
  ConsoleServices console(platform.err, platform.keys, platform.drawBar);
  const bool named = !options.output.empty();
  const std::string pattern = named ? options.output : TimeName();
  // Before anything is fetched: a capture that came is never lost to a name that cannot be saved.
  const std::string first = OutputName(pattern, 1).value_or(pattern);
  if (const std::optional<std::string> problem = OutputProblem(first)) {
    console.ShowMessage("Cannot save to " + first + ": " + *problem, "Save",
                        MessageStyle::MB_ICONSTOP);
    return ExitStatus::SaveFailed;
  }
  Lead lead(platform, options.port);
  if (!lead.Reach(console)) return ExitStatus::PortUnreachable;
  CaptureStore store;
  for (int n = 1; n <= options.count; ++n) {
    const TransferStatus status = StartTransfer(lead.Link(), console, store);
    if (status != TransferStatus::Success) return ExitFor(status);
    std::string path = OutputName(pattern, n).value_or(pattern);
    if (!named) path += "." + std::string(RowOf(FormatFor(options, store.Kind)).name);
    if (const ExitStatus kept = Keep(store, console, platform.out, options, path);
        kept != ExitStatus::Success) {
      return kept;
    }
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
