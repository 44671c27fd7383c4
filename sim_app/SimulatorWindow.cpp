// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_app/SimulatorWindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>
#include <utility>

#include "app/CapturePreview.h"
#include "export/FileContent.h"

namespace fennow {

namespace {

constexpr int kPictureScale = 2;
constexpr std::uint8_t kBuiltInCodes[3] = {6, 3, 12};  // 1.00, 0.10, 0.010000

// Counters change while the main window runs a transfer; they are shown once it lets go.
constexpr int kCounterRefreshMs = 300;

QString ScaleItemText(int scale, int code) {
  const auto value = ScaleValueText(scale, static_cast<std::uint8_t>(code));
  return QStringLiteral("%1  (%2)")
      .arg(code)
      .arg(value ? QString::fromStdString(*value) : QStringLiteral("no value"));
}

// Two buttons side by side, each running its action in the box's own context.
void AddButtonPair(QVBoxLayout& layout, QWidget& box, const QString& leftText,
                   const std::function<void()>& left, const QString& rightText,
                   const std::function<void()>& right) {
  auto* row = new QHBoxLayout;
  for (const auto& [text, action] : {std::pair{leftText, left}, std::pair{rightText, right}}) {
    auto* button = new QPushButton(text, &box);
    row->addWidget(button);
    QObject::connect(button, &QPushButton::clicked, &box, action);
  }
  layout.addLayout(row);
}

}  // namespace

SimulatorWindow::SimulatorWindow(SimulatedGameBoy& gameBoy, QWidget* parent)
    : QWidget(parent), gameBoy_(gameBoy) {
  setWindowTitle(QStringLiteral("Simulated Game Boy"));
  // Two columns: what is sent, with its picture, and how the Game Boy and lead behave.
  auto* columns = new QHBoxLayout(this);
  columns->addWidget(BuildPayloadBox(), 0, Qt::AlignTop);
  auto* right = new QVBoxLayout;
  lead_ = new QLabel(this);
  lead_->setWordWrap(true);
  right->addWidget(lead_);
  right->addWidget(BuildMisbehaviourBox());
  right->addWidget(BuildLeadTestBox());
  counters_ = new QLabel(this);
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  right->addWidget(counters_);
  right->addWidget(status_);
  right->addStretch();
  columns->addLayout(right);

  SetLead(QStringLiteral("the parallel port LPT1 (0x378)"));
  UseBuiltInData();
  UseBuiltInScreen();
  SetSending(Sending::Screen);
  Report(QStringLiteral("Ready: press Start Transfer or Test in the main window."));

  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, &SimulatorWindow::RefreshCounters);
  timer->start(kCounterRefreshMs);
  RefreshCounters();
}

QWidget* SimulatorWindow::BuildPayloadBox() {
  auto* box = new QGroupBox(QStringLiteral("Sends on the next Start Transfer"), this);
  auto* layout = new QVBoxLayout(box);
  AddSendingChoice(*layout, *box);

  picture_ = new QLabel(box);
  picture_->setFixedSize(kScreenWidth * kPictureScale + 4, kScreenHeight * kPictureScale + 4);
  picture_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  picture_->setAlignment(Qt::AlignCenter);
  layout->addWidget(picture_, 0, Qt::AlignHCenter);
  source_ = new QLabel(box);
  layout->addWidget(source_);

  AddPayloadButtons(*layout, *box);
  AddScaleCodes(*layout, *box);
  return box;
}

void SimulatorWindow::AddSendingChoice(QVBoxLayout& layout, QWidget& box) {
  auto* choice = new QHBoxLayout;
  auto* screen = new QRadioButton(QStringLiteral("&Screen"), &box);
  auto* block = new QRadioButton(QStringLiteral("&Data block"), &box);
  sendingGroup_ = new QButtonGroup(&box);
  sendingGroup_->addButton(screen, static_cast<int>(Sending::Screen));
  sendingGroup_->addButton(block, static_cast<int>(Sending::Data));
  choice->addWidget(screen);
  choice->addWidget(block);
  choice->addStretch();
  layout.addLayout(choice);
  connect(sendingGroup_, &QButtonGroup::idClicked, this,
          [this](int id) { SetSending(static_cast<Sending>(id)); });
}

void SimulatorWindow::AddPayloadButtons(QVBoxLayout& layout, QWidget& box) {
  AddButtonPair(
      layout, box, QStringLiteral("Built-in picture"),
      [this] {
        UseBuiltInScreen();
        SetSending(Sending::Screen);
      },
      QStringLiteral("Open image..."),
      [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, QStringLiteral("Picture to send"), {},
            QStringLiteral("Images (*.png *.bmp *.jpg *.jpeg *.gif *.pbm *.pgm *.ppm *.xpm)"));
        if (!path.isEmpty() && UseScreenFile(path)) SetSending(Sending::Screen);
      });
  AddButtonPair(
      layout, box, QStringLiteral("Built-in waveform"),
      [this] {
        UseBuiltInData();
        SetSending(Sending::Data);
      },
      QStringLiteral("Open data file..."),
      [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, QStringLiteral("Data block to send"), {}, QStringLiteral("Raw data (*.txt)"));
        if (!path.isEmpty() && UseDataFile(path)) SetSending(Sending::Data);
      });
}

void SimulatorWindow::AddScaleCodes(QVBoxLayout& layout, QWidget& box) {
  auto* codes = new QFormLayout;
  const char* names[kScaleCodeCount] = {"First scale code", "Second scale code",
                                        "Third scale code"};
  for (int scale = 0; scale < kScaleCodeCount; ++scale) {
    auto* combo = new QComboBox(&box);
    // One code past each table, so the refusal of a code without a value can be tried.
    const int count = static_cast<int>(ScaleCodeCount(scale)) + 1;
    for (int code = 0; code < count; ++code) combo->addItem(ScaleItemText(scale, code), code);
    codes->addRow(QString::fromLatin1(names[scale]), combo);
    scaleCodes_[scale] = combo;
    connect(combo, &QComboBox::activated, this, [this] { ApplyScaleCodes(); });
  }
  layout.addLayout(codes);
}

QWidget* SimulatorWindow::BuildMisbehaviourBox() {
  auto* box = new QGroupBox(QStringLiteral("Misbehave"), this);
  auto* form = new QFormLayout(box);
  form->setRowWrapPolicy(QFormLayout::WrapLongRows);

  connection_ = new QComboBox(box);
  connection_->addItem(QStringLiteral("In the Game Boy"), static_cast<int>(Connection::GameBoy));
  connection_->addItem(QStringLiteral("Not connected, data line floats high"),
                       static_cast<int>(Connection::StuckSet));
  connection_->addItem(QStringLiteral("Not connected, data line held low"),
                       static_cast<int>(Connection::StuckClear));
  form->addRow(QStringLiteral("Lead"), connection_);
  connect(connection_, &QComboBox::activated, this, [this] {
    gameBoy_.SetConnection(static_cast<Connection>(connection_->currentData().toInt()));
  });

  wrongReplies_ = new QSpinBox(box);
  wrongReplies_->setRange(0, 9);
  form->addRow(QStringLiteral("Wrong replies to requests"), wrongReplies_);
  connect(wrongReplies_, &QSpinBox::valueChanged, this,
          [this](int count) { gameBoy_.SetWrongReplies(count); });

  auto* modeRow = new QHBoxLayout;
  badMode_ = new QCheckBox(QStringLiteral("Send mode byte"), box);
  modeByte_ = new QSpinBox(box);
  modeByte_->setRange(0, 255);
  modeByte_->setValue(3);
  modeByte_->setEnabled(false);
  modeRow->addWidget(badMode_);
  modeRow->addWidget(modeByte_);
  modeRow->addStretch();
  form->addRow(QStringLiteral("Mode"), modeRow);
  connect(badMode_, &QCheckBox::toggled, this, [this](bool on) {
    modeByte_->setEnabled(on);
    ApplyMode();
  });
  connect(modeByte_, &QSpinBox::valueChanged, this, [this] { ApplyMode(); });

  auto* restart = new QPushButton(QStringLiteral("Restart the Game Boy's software"), box);
  restart->setToolTip(
      QStringLiteral("After a Key Exit the Game Boy is still in the middle of its block"));
  form->addRow(restart);
  connect(restart, &QPushButton::clicked, this, [this] {
    gameBoy_.Reset();
    Report(QStringLiteral("The Game Boy is waiting again."));
  });
  return box;
}

QWidget* SimulatorWindow::BuildLeadTestBox() {
  auto* box = new QGroupBox(QStringLiteral("Lead test (lead out of the Game Boy)"), this);
  auto* form = new QFormLayout(box);
  loopWiring_ = new QComboBox(box);
  loopWiring_->addItem(QStringLiteral("Good loop back"), static_cast<int>(LoopWiring::Inverted));
  loopWiring_->addItem(QStringLiteral("Stuck at 1"), static_cast<int>(LoopWiring::StuckSet));
  loopWiring_->addItem(QStringLiteral("Stuck at 0"), static_cast<int>(LoopWiring::StuckClear));
  loopWiring_->addItem(QStringLiteral("Wired without the inversion"),
                       static_cast<int>(LoopWiring::NotInverted));
  form->addRow(QStringLiteral("Loop"), loopWiring_);
  auto* hint = new QLabel(
      QStringLiteral("Set Lead to \"Not connected\" above to test the lead on its own."), box);
  hint->setWordWrap(true);
  form->addRow(hint);
  connect(loopWiring_, &QComboBox::activated, this, [this] {
    gameBoy_.SetLoopWiring(static_cast<LoopWiring>(loopWiring_->currentData().toInt()));
  });
  return box;
}

void SimulatorWindow::UseBuiltInScreen() {
  UseScreen(BuiltInScreen(), QStringLiteral("built-in picture"));
}

void SimulatorWindow::UseBuiltInData() {
  UseData(BuiltInWaveform(kBuiltInCodes[0], kBuiltInCodes[1], kBuiltInCodes[2]),
          QStringLiteral("built-in waveform"));
}

bool SimulatorWindow::UseScreenFile(const QString& path) {
  auto loaded = LoadScreenImage(path);
  if (auto* error = std::get_if<std::string>(&loaded)) {
    Report(QString::fromStdString(*error));
    return false;
  }
  UseScreen(std::get<ScreenBytes>(loaded), QFileInfo(path).fileName());
  return true;
}

bool SimulatorWindow::UseDataFile(const QString& path) {
  auto loaded = LoadRawData(path);
  if (auto* error = std::get_if<std::string>(&loaded)) {
    Report(QString::fromStdString(*error));
    return false;
  }
  UseData(std::get<DataBytes>(loaded), QFileInfo(path).fileName());
  return true;
}

void SimulatorWindow::UseScreen(const ScreenBytes& screen, const QString& source) {
  screen_ = screen;
  screenSource_ = source;
  Report(QStringLiteral("Screen: %1").arg(source));
  if (sending_ == Sending::Screen) SetSending(Sending::Screen);
}

void SimulatorWindow::UseData(const DataBytes& block, const QString& source) {
  data_ = block;
  dataSource_ = source;
  for (int scale = 0; scale < 3; ++scale) {
    QComboBox* combo = scaleCodes_[scale];
    const int code = data_[static_cast<std::size_t>(kSampleCount + scale)];
    if (combo->findData(code) < 0) combo->addItem(ScaleItemText(scale, code), code);
    combo->setCurrentIndex(combo->findData(code));
  }
  Report(QStringLiteral("Data block: %1").arg(source));
  if (sending_ == Sending::Data) SetSending(Sending::Data);
}

void SimulatorWindow::SetSending(Sending sending) {
  sending_ = sending;
  sendingGroup_->button(static_cast<int>(sending))->setChecked(true);
  if (sending == Sending::Screen) {
    gameBoy_.LoadScreen(screen_);
  } else {
    gameBoy_.LoadData(data_);
  }
  ApplyMode();
  ShowPayload();
}

void SimulatorWindow::ApplyMode() {
  if (badMode_->isChecked()) {
    gameBoy_.SetModeByte(static_cast<std::uint8_t>(modeByte_->value()));
  } else {
    gameBoy_.SetModeByte(sending_ == Sending::Screen ? 1 : 2);
  }
}

void SimulatorWindow::ApplyScaleCodes() {
  for (int scale = 0; scale < 3; ++scale) {
    data_[static_cast<std::size_t>(kSampleCount + scale)] =
        static_cast<std::uint8_t>(scaleCodes_[scale]->currentData().toInt());
  }
  SetSending(Sending::Data);
}

void SimulatorWindow::ShowPayload() {
  if (sending_ == Sending::Screen) {
    shown_ = ImageFromScreen(screen_);
    source_->setText(QStringLiteral("Screen: %1").arg(screenSource_));
  } else {
    // The block drawn as the main window will draw it once it has arrived.
    CaptureStore block;
    std::copy(data_.begin(), data_.end(), block.CaptureBuffer.begin());
    block.Kind = CaptureKind::Data;
    shown_ = DataPreview(block);
    source_->setText(QStringLiteral("Data block: %1").arg(dataSource_));
  }
  picture_->setPixmap(QPixmap::fromImage(
      shown_.scaled(shown_.size() * kPictureScale, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
}

void SimulatorWindow::RefreshCounters() {
  counters_->setText(QStringLiteral("Requests seen: %1    Transfers completed: %2")
                         .arg(gameBoy_.RequestsSeen())
                         .arg(gameBoy_.TransfersCompleted()));
  if (!wrongReplies_->hasFocus() && wrongReplies_->value() != gameBoy_.WrongRepliesLeft()) {
    const QSignalBlocker quiet(wrongReplies_);
    wrongReplies_->setValue(gameBoy_.WrongRepliesLeft());
  }
}

void SimulatorWindow::SetLead(const QString& lead) {
  lead_->setText(QStringLiteral("Lead in use: %1").arg(lead));
}

QString SimulatorWindow::LeadText() const {
  return lead_->text();
}

void SimulatorWindow::Report(const QString& text) {
  status_->setText(text);
}

QString SimulatorWindow::StatusText() const {
  return status_->text();
}

}  // namespace fennow
