// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/PortSurvey.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>

namespace fennow {

namespace {

constexpr std::string_view kUsbPrefix = "USB ";
constexpr std::string_view kReady = "ready";

std::string WithoutUsbPrefix(const std::string& name) {
  return name.starts_with(kUsbPrefix) ? name.substr(kUsbPrefix.size()) : name;
}

std::string StatusOf(const PortSurveyRow& row) {
  if (!row.problem) {
    return row.measured.empty() ? std::string(kReady) : std::string(kReady) + ": " + row.measured;
  }
  return WhyText(*row.problem) + ". " + RemedyText(*row.problem);
}

QJsonValue TextOrNull(const std::string& text) {
  return text.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(text));
}

}  // namespace

std::vector<PortSurveyRow> SurveyPorts(PortDirectory& ports) {
  const PortTable table = ports.Ports();
  std::vector<PortSurveyRow> rows;
  for (std::size_t i = 0; i < kPortChoiceCount; ++i) {
    const PortTarget& target = table[i];
    PortSurveyRow row;
    row.choice = std::string(kLegacyAddresses[i].name);
    row.kind = target.kind;
    row.problem = ports.Reach(target).problem;
    if (!row.problem) row.measured = ports.OpenReport(target);
    if (target.kind == PortKind::UsbAdapter) {
      row.device = WithoutUsbPrefix(target.name);
    } else {
      row.address = target.name;
      row.device = row.problem ? row.problem->device : ports.DeviceOf(target);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string PortSurveyText(const std::vector<PortSurveyRow>& rows) {
  std::array<std::size_t, 2> widths{};
  for (const PortSurveyRow& row : rows) {
    widths[0] = std::max(widths[0], row.kind == PortKind::UsbAdapter ? 3 : row.address.size());
    widths[1] = std::max(widths[1], std::max<std::size_t>(row.device.size(), 1));
  }
  std::string text;
  for (const PortSurveyRow& row : rows) {
    std::string address = row.kind == PortKind::UsbAdapter ? "USB" : row.address;
    std::string device = row.device.empty() ? "-" : row.device;
    address.resize(widths[0], ' ');
    device.resize(widths[1], ' ');
    text += row.choice + "  " + address + "  " + device + "  " + StatusOf(row) + "\n";
  }
  return text;
}

std::string PortSurveyJson(const std::vector<PortSurveyRow>& rows) {
  QJsonArray array;
  for (const PortSurveyRow& row : rows) {
    QJsonObject object;
    object["port"] = QString::fromStdString(row.choice);
    object["kind"] = row.kind == PortKind::UsbAdapter ? "usb adapter" : "parallel port";
    object["address"] = TextOrNull(row.address);
    object["device"] = TextOrNull(row.device);
    object["reachable"] = !row.problem.has_value();
    object["measured"] = TextOrNull(row.measured);
    object["reason"] = row.problem ? TextOrNull(WhyText(*row.problem)) : QJsonValue();
    object["remedy"] = row.problem ? TextOrNull(RemedyText(*row.problem)) : QJsonValue();
    array.append(object);
  }
  return QJsonDocument(array).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace fennow
