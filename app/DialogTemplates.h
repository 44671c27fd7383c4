// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string_view>

#include "app/DialogUnits.h"
#include "link/FrontEnd.h"

namespace fennow {

// Control IDs of the main window.
inline constexpr int kStaticId = -1;  // labels, group boxes and pictures
inline constexpr int kStartTransferId = 1000;
inline constexpr int kRawDataFormatId = 1001;
inline constexpr int kMathcadFormatId = 1003;
inline constexpr int kScreenFormatId = 1023;
inline constexpr int kLpt1Id = 1026;
inline constexpr int kLpt2Id = 1027;
inline constexpr int kLpt3Id = 1028;
inline constexpr int kProgressId = 1029;
inline constexpr int kTestId = 1032;
inline constexpr int kSyncLampId = 1033;
inline constexpr int kScreenLampId = 1035;
inline constexpr int kDataLampId = 1036;
inline constexpr int kErrorLampId = 1045;

// Indexed by Lamp.
inline constexpr std::array<int, kLampCount> kLampIds{kSyncLampId, kScreenLampId, kDataLampId,
                                                      kErrorLampId};

enum class ControlKind { PushButton, PortButton, Lamp, Picture, GroupBox, Label, ProgressBar };

struct ControlTemplate {
  int id;
  ControlKind kind;
  std::string_view name;  // objectName, so that static controls can be found too
  std::string_view caption;
  DialogRect rect;
  std::string_view image{};  // pictures only: the Qt resource shown at its natural size
  bool sunken = false;       // pictures only: a border with a sunken edge around the image
};

inline constexpr std::string_view kMainCaption = "Fennow Link Interface (XP) by the Fennow team";
inline constexpr DialogRect kMainSize{0, 0, 257, 194};

// Main window, template 102. Template order is the creation order and the tab order; group boxes
// come after some of the controls they frame and are sent to the back once everything exists.
inline constexpr std::array<ControlTemplate, 21> kMainTemplate{{
    {kStartTransferId,
     ControlKind::PushButton,
     "StartTransfer",
     "Start Transfer",
     {15, 74, 105, 15}},
    {kRawDataFormatId,
     ControlKind::PushButton,
     "RawDataFormat",
     "Raw Data Format",
     {150, 145, 90, 15}},
    {kStaticId,
     ControlKind::Picture,
     "ScreenPicture",
     "",
     {140, 10, 109, 91},
     ":/art/bitmap131.bmp",
     true},
    {kStaticId,
     ControlKind::GroupBox,
     "TransferGroup",
     "Screen or Data Transfer",
     {5, 55, 125, 135}},
    {kMathcadFormatId,
     ControlKind::PushButton,
     "MathcadFormat",
     "MathCad Format",
     {150, 165, 90, 15}},
    {kStaticId, ControlKind::GroupBox, "PortGroup", "Printer Interface Port", {5, 10, 125, 35}},
    {kScreenFormatId, ControlKind::PushButton, "ScreenFormat", "Screen Format", {150, 125, 90, 15}},
    {kStaticId, ControlKind::GroupBox, "SaveGroup", "Save to Disk", {140, 110, 110, 80}},
    {kLpt1Id, ControlKind::PortButton, "LPT1", "LPT1", {15, 25, 30, 15}},
    {kLpt2Id, ControlKind::PortButton, "LPT2", "LPT2", {52, 25, 30, 15}},
    {kProgressId, ControlKind::ProgressBar, "Progress", "", {15, 164, 105, 15}},
    {kTestId, ControlKind::PushButton, "Test", "Test", {84, 98, 36, 15}},
    {kSyncLampId, ControlKind::Lamp, "SyncLamp", "", {15, 115, 10, 10}},
    {kStaticId, ControlKind::Label, "TransferErrorLabel", "Transfer Error", {30, 100, 45, 8}},
    {kStaticId, ControlKind::Label, "SerialSyncLabel", "Serial Sync", {30, 115, 36, 8}},
    {kScreenLampId, ControlKind::Lamp, "ScreenLamp", "", {15, 130, 10, 10}},
    {kDataLampId, ControlKind::Lamp, "DataLamp", "", {15, 145, 10, 10}},
    {kStaticId, ControlKind::Label, "ScreenTransferLabel", "Screen Transfer", {30, 130, 52, 8}},
    {kStaticId, ControlKind::Label, "DataTransferLabel", "Data Transfer", {30, 145, 44, 8}},
    {kErrorLampId, ControlKind::Lamp, "ErrorLamp", "", {15, 100, 10, 10}},
    {kLpt3Id, ControlKind::PortButton, "LPT3", "LPT3", {90, 25, 30, 15}},
}};

// About box, template 100.
inline constexpr std::string_view kAboutCaption = "About Quillet";
inline constexpr DialogRect kAboutSize{0, 0, 217, 55};
inline constexpr int kAboutOkId = IDOK;

inline constexpr std::array<ControlTemplate, 4> kAboutTemplate{{
    {kStaticId,
     ControlKind::Label,
     "VersionLabel",
     "GameBoy Quillet Version 1.2",
     {40, 10, 101, 10}},
    {kAboutOkId, ControlKind::PushButton, "OK", "OK", {178, 7, 32, 14}},
    {kStaticId, ControlKind::Picture, "AboutPicture", "", {12, 12, 21, 20}, ":/art/bitmap134.bmp"},
    {kStaticId, ControlKind::Label, "CompatibleLabel", "Windows XP Compatible", {40, 21, 101, 10}},
}};

// Group icon 128, embedded by the resources library like the two bitmaps above.
inline constexpr const char* kIconResource = ":/art/icon128.ico";

}  // namespace fennow
