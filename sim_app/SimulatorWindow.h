// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include "sim/SimulatedGameBoy.h"
#include "sim_app/SimPayloads.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;
class QVBoxLayout;

namespace fennow {

// The simulator's second window: what the simulated Game Boy will do on the next Start Transfer or
// Test. Every control writes straight through to the simulator, which the main window reaches
// through its port; nothing here touches the link or capture code.
class SimulatorWindow final : public QWidget {
  Q_OBJECT

 public:
  enum class Sending { Screen, Data };

  explicit SimulatorWindow(SimulatedGameBoy& gameBoy, QWidget* parent = nullptr);

  void UseBuiltInScreen();
  void UseBuiltInData();
  // A picture file, reduced to the Game Boy's screen. False, with the reason on the status line,
  // when it cannot be read; what was loaded before stays.
  bool UseScreenFile(const QString& path);
  // 1205 numbers in the raw data format. False, with the reason on the status line, when not.
  bool UseDataFile(const QString& path);
  void UseScreen(const ScreenBytes& screen, const QString& source);
  void UseData(const DataBytes& block, const QString& source);

  void SetSending(Sending sending);
  // Says which lead the main window reaches the Game Boy through.
  void SetLead(const QString& lead);
  QString LeadText() const;

  const QImage& Shown() const { return shown_; }  // the payload as the window shows it
  QString StatusText() const;

 private:
  QWidget* BuildPayloadBox();
  void AddSendingChoice(QVBoxLayout& layout, QWidget& box);
  void AddPayloadButtons(QVBoxLayout& layout, QWidget& box);
  void AddScaleCodes(QVBoxLayout& layout, QWidget& box);
  QWidget* BuildMisbehaviourBox();
  QWidget* BuildLeadTestBox();
  void ApplyMode();
  void ApplyScaleCodes();
  void ShowPayload();
  void RefreshCounters();
  void Report(const QString& text);

  SimulatedGameBoy& gameBoy_;
  Sending sending_ = Sending::Screen;
  ScreenBytes screen_{};
  DataBytes data_{};
  QString screenSource_;
  QString dataSource_;
  QImage shown_;

  QButtonGroup* sendingGroup_ = nullptr;
  QLabel* picture_ = nullptr;
  QLabel* source_ = nullptr;
  QComboBox* scaleCodes_[3] = {nullptr, nullptr, nullptr};
  QComboBox* connection_ = nullptr;
  QSpinBox* wrongReplies_ = nullptr;
  QCheckBox* badMode_ = nullptr;
  QSpinBox* modeByte_ = nullptr;
  QComboBox* loopWiring_ = nullptr;
  QLabel* lead_ = nullptr;
  QLabel* counters_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace fennow
