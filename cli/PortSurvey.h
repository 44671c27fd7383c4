// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ports/PortDirectory.h"

namespace fennow {

// One choice as `fennow-link ports` reports it.
struct PortSurveyRow {
  std::string choice;  // "LPT1"
  PortKind kind = PortKind::ParallelPort;
  std::string address;  // "0xD010"; empty for a USB adapter, which has none of its own
  std::string device;   // "/dev/parport0", "direct I/O", "FT232R A50285BI"; empty when unknown
  std::optional<PortProblem> problem;  // why it cannot be reached now
  std::string measured;  // what opening it measured: a USB adapter's rate and round trip
};

// Tries to reach each choice's port now, as an operation on the lead would.
std::vector<PortSurveyRow> SurveyPorts(PortDirectory& ports);

// A line a choice, in columns: "LPT1  0xD010  /dev/parport0  ready", or the reason and remedy the
// window's "Interface Port" box gives in place of "ready"; a ready adapter says what was measured
// when it was opened.
std::string PortSurveyText(const std::vector<PortSurveyRow>& rows);
// The same as a JSON array of objects, one a choice.
std::string PortSurveyJson(const std::vector<PortSurveyRow>& rows);

}  // namespace fennow
