// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated chip's answers to the standard requests (USB 2.0, chapter 9): its descriptors as
// FTDI's chips give them out of the box (DS_FT232R, DS_FT232H: one vendor-specific interface,
// bulk IN 0x81 and OUT 0x02, manufacturer "FTDI"), with the serial string left out (index 0) on a
// chip whose EEPROM is blank.
#include <string>

#include "sim/FakeChipFacts.h"
#include "sim/SimulatedChip.h"

namespace fennow {

namespace {

using fake_chip::FakeChipModel;

enum class StandardRequest : std::uint8_t {
  GetStatus = 0x00,
  ClearFeature = 0x01,
  SetFeature = 0x03,
  SetAddress = 0x05,
  GetDescriptor = 0x06,
  GetConfiguration = 0x08,
  SetConfiguration = 0x09,
  GetInterface = 0x0A,
  SetInterface = 0x0B,
};

enum class DescriptorType : std::uint8_t {
  Device = 1,
  Configuration = 2,
  String = 3,
  DeviceQualifier = 6,
};

constexpr std::uint8_t kManufacturerIndex = 1;
constexpr std::uint8_t kProductIndex = 2;
constexpr std::uint8_t kSerialIndex = 3;
constexpr std::uint16_t kEnglish = 0x0409;
constexpr std::uint8_t kConfigurationValue = 1;
// Bus-powered, remote wake-up; 90 mA, in units of 2 mA.
constexpr std::uint8_t kAttributes = 0xA0;
constexpr std::uint8_t kMaxPower = 45;

void Put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::vector<std::uint8_t> DeviceDescriptor(const FakeChipModel& model, bool hasSerial) {
  std::vector<std::uint8_t> d{18, static_cast<std::uint8_t>(DescriptorType::Device)};
  Put16(d, 0x0200);  // USB 2.0
  d.insert(d.end(), {0, 0, 0, model.controlPacket});
  Put16(d, 0x0403);
  Put16(d, model.product);
  Put16(d, model.bcdDevice);
  d.insert(d.end(), {kManufacturerIndex, kProductIndex,
                     static_cast<std::uint8_t>(hasSerial ? kSerialIndex : 0), 1});
  return d;
}

std::vector<std::uint8_t> ConfigurationDescriptor(const FakeChipModel& model) {
  std::vector<std::uint8_t> d{9, static_cast<std::uint8_t>(DescriptorType::Configuration)};
  Put16(d, 9 + 9 + 7 + 7);
  d.insert(d.end(), {1, kConfigurationValue, 0, kAttributes, kMaxPower});
  // The interface: vendor-specific class, subclass and protocol, named by the product string.
  d.insert(d.end(), {9, 4, 0, 0, 2, 0xFF, 0xFF, 0xFF, kProductIndex});
  for (const std::uint8_t endpoint : {std::uint8_t{0x81}, std::uint8_t{0x02}}) {
    d.insert(d.end(), {7, 5, endpoint, 2});  // bulk
    Put16(d, static_cast<std::uint16_t>(model.packetSize));
    d.push_back(0);
  }
  return d;
}

// A high-speed chip says how it would look at full speed (USB 2.0, 9.6.2); a full-speed-only chip
// has no such descriptor and stalls the request, which tells the host it is at its best speed.
std::vector<std::uint8_t> QualifierDescriptor(const FakeChipModel& model) {
  std::vector<std::uint8_t> d{10, static_cast<std::uint8_t>(DescriptorType::DeviceQualifier)};
  Put16(d, 0x0200);
  d.insert(d.end(), {0, 0, 0, model.controlPacket, 1, 0});
  return d;
}

std::vector<std::uint8_t> StringDescriptor(const std::string& text) {
  std::vector<std::uint8_t> d{static_cast<std::uint8_t>(2 + 2 * text.size()),
                              static_cast<std::uint8_t>(DescriptorType::String)};
  for (const char c : text) Put16(d, static_cast<std::uint8_t>(c));
  return d;
}

}  // namespace

ControlReply SimulatedChip::Standard(const SetupPacket& setup) {
  const FakeChipModel& model = Model();
  const bool hasSerial = !setup_.serial.empty();
  ControlReply reply;
  switch (static_cast<StandardRequest>(setup.request)) {
    case StandardRequest::GetStatus:
      reply.data = {0, 0};
      break;
    case StandardRequest::GetConfiguration:
      reply.data = {configuration_};
      break;
    case StandardRequest::SetConfiguration:
      configuration_ = static_cast<std::uint8_t>(setup.value);
      break;
    case StandardRequest::GetInterface:
      reply.data = {0};
      break;
    case StandardRequest::ClearFeature:
    case StandardRequest::SetFeature:
    case StandardRequest::SetAddress:
    case StandardRequest::SetInterface:
      break;
    case StandardRequest::GetDescriptor: {
      const auto type = static_cast<DescriptorType>(setup.value >> 8);
      const auto index = static_cast<std::uint8_t>(setup.value & 0xFF);
      if (type == DescriptorType::Device) {
        reply.data = DeviceDescriptor(model, hasSerial);
      } else if (type == DescriptorType::Configuration && index == 0) {
        reply.data = ConfigurationDescriptor(model);
      } else if (type == DescriptorType::DeviceQualifier && model.highSpeed) {
        reply.data = QualifierDescriptor(model);
      } else if (type == DescriptorType::String && index == 0) {
        reply.data = {4, static_cast<std::uint8_t>(DescriptorType::String)};
        Put16(reply.data, kEnglish);
      } else if (type == DescriptorType::String && index == kManufacturerIndex) {
        reply.data = StringDescriptor("FTDI");
      } else if (type == DescriptorType::String && index == kProductIndex) {
        reply.data = StringDescriptor(model.productName);
      } else if (type == DescriptorType::String && index == kSerialIndex && hasSerial) {
        reply.data = StringDescriptor(setup_.serial);
      } else {
        reply.stalled = true;
      }
      break;
    }
    default:
      reply.stalled = true;
  }
  return reply;
}

}  // namespace fennow
