#include "center/app/ribbon_bar.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>

#include "center/app/center_resources.h"
#include "center/app/colour_palette.h"

namespace Quorvane::Center {
namespace {

constexpr int kIconSize = 32;
constexpr int kSmallIconSize = 16;
constexpr int kButtonWidth = 60;

const std::vector<RibbonMode> kEveryMode{RibbonMode::NothingSelected, RibbonMode::ChannelSelected,
                                         RibbonMode::DeviceSelected};

// Large buttons show their label on at most two lines under the icon: a long label breaks at
// its middle blank.
QString TwoLineLabel(const std::string& label) {
  QString text = QString::fromStdString(label);
  if (text.size() <= 12) {
    return text;
  }
  int best = -1;
  for (int at = 0; at < text.size(); ++at) {
    if (text[at] == ' ' &&
        (best < 0 || std::abs(at - text.size() / 2) < std::abs(best - text.size() / 2))) {
      best = at;
    }
  }
  if (best >= 0) {
    text[best] = '\n';
  }
  return text;
}

QIcon Icon(const QString& name) {
  return PaletteIcon(QStringLiteral(":/icons/") + name + QStringLiteral(".svg"),
                     QApplication::palette());
}

}  // namespace

RibbonBar::RibbonBar(QWidget* parent) : QWidget(parent) {
  EnsureCenterResources();
  setObjectName(QStringLiteral("RibbonBar"));
  setAutoFillBackground(true);
  const CenterColours colours = CenterColoursOf(palette());
  QPalette ribbon = palette();
  ribbon.setColor(QPalette::Window, ToQColor(colours.ribbon));
  setPalette(ribbon);
  groupLabel_ = ToQColor(colours.groupLabel);
  groupLine_ = ToQColor(colours.groupLine).name();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->setSpacing(0);

  // The application menu and the one tab.
  auto* tabs = new QHBoxLayout;
  tabs->setSpacing(6);
  auto* menuButton = new QToolButton;
  menuButton->setObjectName(QStringLiteral("ApplicationMenuButton"));
  menuButton->setIcon(Icon(QStringLiteral("kestrane")));
  menuButton->setToolTip(QStringLiteral("Application Menu"));
  menuButton->setAccessibleName(menuButton->toolTip());
  menuButton->setPopupMode(QToolButton::InstantPopup);
  menuButton->setAutoRaise(true);
  applicationMenu_ = new QMenu(menuButton);
  QAction* exitAction =
      applicationMenu_->addAction(Icon(QStringLiteral("exit")), QStringLiteral("Exit"));
  connect(exitAction, &QAction::triggered, this, [this] { emit Executed(RibbonCommand::Exit, 0); });
  menuButton->setMenu(applicationMenu_);
  tabs->addWidget(menuButton);
  auto* tabBar = new QTabBar;
  tabBar->addTab(QStringLiteral("Main"));
  tabBar->setDrawBase(false);
  tabs->addWidget(tabBar);
  tabs->addStretch(1);
  layout->addLayout(tabs);

  groupRow_ = new QFrame;
  groupRow_->setObjectName(QStringLiteral("RibbonGroups"));
  groupRow_->setStyleSheet(QStringLiteral("#RibbonGroups { background: %1; border: 1px solid %2; }")
                               .arg(ToQColor(colours.groups).name(), groupLine_));
  auto* row = new QHBoxLayout(groupRow_);
  row->setContentsMargins(2, 2, 2, 0);
  row->setSpacing(0);
  layout->addWidget(groupRow_);

  QWidget* main = AddGroup(QStringLiteral("Main"), kEveryMode);
  AddButton(main, RibbonCommand::Refresh, QStringLiteral("refresh"));
  AddButton(main, RibbonCommand::CheckForUpdates, QStringLiteral("check-updates"));
  AddButton(main, RibbonCommand::UpdateUpdater, QStringLiteral("update-updater"));
  FinishGroup(main, QStringLiteral("Main"));

  QWidget* tools = AddGroup(QStringLiteral("Tools"), {RibbonMode::ChannelSelected});
  AddButton(tools, RibbonCommand::Calibrate, QStringLiteral("calibrate"));
  AddButton(tools, RibbonCommand::Reset, QStringLiteral("reset"));
  FinishGroup(tools, QStringLiteral("Tools"));

  QWidget* deviceFirmware = AddGroup(QStringLiteral("Firmware"), {RibbonMode::DeviceSelected});
  AddGallery(deviceFirmware, RibbonCommand::ChangeFirmware, QStringLiteral("change-firmware"));
  AddButton(deviceFirmware, RibbonCommand::UpdateFirmware, QStringLiteral("update-firmware"));
  AddButton(deviceFirmware, RibbonCommand::UploadCustomFirmware, QStringLiteral("upload-firmware"));
  FinishGroup(deviceFirmware, QStringLiteral("Firmware"));

  QWidget* recovery = AddGroup(QStringLiteral("Firmware"), kEveryMode);
  AddGallery(recovery, RibbonCommand::CrashRecovery, QStringLiteral("crash-recovery"));
  AddToggle(recovery, RibbonCommand::SecureCrashRecovery, QStringLiteral("secure-recovery"));
  FinishGroup(recovery, QStringLiteral("Firmware"));

  QWidget* other = AddGroup(QStringLiteral("Other"), kEveryMode);
  AddToggle(other, RibbonCommand::EnableBetaSoftware, QStringLiteral("beta"), Size::Small);
  AddToggle(other, RibbonCommand::TopMostWindow, QStringLiteral("topmost"), Size::Small);
  AddButton(other, RibbonCommand::About, QStringLiteral("about"), Size::Small);
  AddButton(other, RibbonCommand::Trace, QStringLiteral("trace"), Size::Small);
  FinishGroup(other, QStringLiteral("Other"));

  QWidget* communication = AddGroup(QStringLiteral("Communication"), kEveryMode);
  AddButton(communication, RibbonCommand::Feedback, QStringLiteral("feedback"));
  AddButton(communication, RibbonCommand::Messages, QStringLiteral("messages"));
  FinishGroup(communication, QStringLiteral("Communication"));

  QWidget* screenshot = AddGroup(QStringLiteral("Screenshot"), kEveryMode);
  QToolButton* capture =
      AddButton(screenshot, RibbonCommand::CaptureWindow, QStringLiteral("capture"));
  auto* captureMenu = new QMenu(capture);
  for (const RibbonCommand command :
       {RibbonCommand::CaptureToClipboard, RibbonCommand::CaptureToFile}) {
    QAction* action = captureMenu->addAction(QString::fromStdString(RibbonState{}.Label(command)));
    connect(action, &QAction::triggered, this, [this, command] { emit Executed(command, 0); });
  }
  capture->setMenu(captureMenu);
  capture->setPopupMode(QToolButton::MenuButtonPopup);
  disconnect(capture, &QToolButton::clicked, nullptr, nullptr);
  // The menu opens on the press, as a gallery's does: a Wayland compositor lets a menu open only
  // in answer to the press that asked for it, not to the release that follows.
  connect(capture, &QToolButton::pressed, capture, &QToolButton::showMenu);
  menus_[RibbonCommand::CaptureWindow] = captureMenu;
  FinishGroup(screenshot, QStringLiteral("Screenshot"));

  row->addStretch(1);
  Apply(RibbonState{});
}

QWidget* RibbonBar::AddGroup(const QString& caption, std::vector<RibbonMode> modes) {
  auto* frame = new QWidget;
  frame->setObjectName(QStringLiteral("Group ") + caption);
  auto* column = new QVBoxLayout(frame);
  column->setContentsMargins(4, 0, 4, 0);
  column->setSpacing(0);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(2);
  column->addLayout(buttons);
  groups_.push_back({frame, nullptr, std::move(modes)});
  return frame;
}

void RibbonBar::FinishGroup(QWidget* group, const QString& caption) {
  auto* column = static_cast<QVBoxLayout*>(group->layout());
  column->addStretch(1);  // every caption on the same line
  auto* label = new QLabel(caption);
  label->setAlignment(Qt::AlignHCenter);
  QPalette colours = label->palette();
  colours.setColor(QPalette::WindowText, groupLabel_);
  label->setPalette(colours);
  column->addWidget(label);
  auto* row = static_cast<QHBoxLayout*>(groupRow_->layout());
  row->addWidget(group);
  auto* separator = new QFrame;
  separator->setFrameShape(QFrame::VLine);
  separator->setFrameShadow(QFrame::Plain);
  separator->setStyleSheet(QStringLiteral("color: %1;").arg(groupLine_));
  row->addWidget(separator);
  groups_.back().separator = separator;
}

QToolButton* RibbonBar::AddButton(QWidget* group, RibbonCommand command, const QString& icon,
                                  Size size) {
  auto* button = new QToolButton;
  button->setObjectName(QString::fromStdString(RibbonState{}.Label(command)));
  button->setIcon(Icon(icon));
  button->setAutoRaise(true);
  connect(button, &QToolButton::clicked, this, [this, command, button] {
    emit Executed(command, button->isCheckable() ? (button->isChecked() ? 1 : 0) : 0);
  });
  auto* buttons = static_cast<QHBoxLayout*>(group->layout()->itemAt(0)->layout());
  if (size == Size::Large) {
    button->setIconSize(QSize(kIconSize, kIconSize));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setMinimumWidth(kButtonWidth);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    buttons->addWidget(button);
  } else {
    // Small buttons stand one above the other in a column of the group.
    button->setIconSize(QSize(kSmallIconSize, kSmallIconSize));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    QVBoxLayout* column = nullptr;
    if (buttons->count() > 0) {
      column = qobject_cast<QVBoxLayout*>(buttons->itemAt(buttons->count() - 1)->layout());
    }
    if (column == nullptr || column->count() >= 3) {
      column = new QVBoxLayout;
      column->setSpacing(0);
      buttons->addLayout(column);
    }
    column->addWidget(button);
  }
  buttons_[command] = button;
  groupOfCommand_[command] = group;
  return button;
}

QToolButton* RibbonBar::AddToggle(QWidget* group, RibbonCommand command, const QString& icon,
                                  Size size) {
  QToolButton* button = AddButton(group, command, icon, size);
  button->setCheckable(true);
  return button;
}

QToolButton* RibbonBar::AddGallery(QWidget* group, RibbonCommand command, const QString& icon) {
  QToolButton* button = AddButton(group, command, icon);
  disconnect(button, &QToolButton::clicked, nullptr, nullptr);
  auto* menu = new QMenu(button);
  menu->setObjectName(QStringLiteral("Available Firmwares"));
  menu->setToolTipsVisible(true);
  button->setMenu(menu);
  button->setPopupMode(QToolButton::InstantPopup);
  menus_[command] = menu;
  lastPreview_[command] = -1;
  // The gallery rule wants the item reported as a preview when the pointer reaches it and
  // again when it is clicked. A menu that opens forgets what was previewed before.
  connect(menu, &QMenu::aboutToShow, this, [this, command] {
    galleries_[command].Report(-1);
    lastPreview_[command] = -1;
  });
  connect(menu, &QMenu::hovered, this, [this, command](QAction* action) {
    const int item = action->data().toInt();
    if (item != lastPreview_[command]) {
      lastPreview_[command] = item;
      galleries_[command].Report(item);
    }
  });
  connect(menu, &QMenu::triggered, this, [this, command](QAction* action) {
    if (const auto item = galleries_[command].Report(action->data().toInt())) {
      emit Executed(command, *item);
    }
  });
  return button;
}

void RibbonBar::FillGallery(RibbonCommand command, const std::vector<std::string>& items) {
  QMenu* menu = menus_.at(command);
  std::vector<std::string> shown;
  for (QAction* action : menu->actions()) {
    shown.push_back(action->text().toStdString());
  }
  if (shown == items) {
    return;
  }
  menu->clear();
  int index = 0;
  for (const auto& item : items) {
    QAction* action = menu->addAction(QString::fromStdString(item));
    action->setData(index++);
  }
}

void RibbonBar::Apply(const RibbonState& state) {
  for (auto& [command, button] : buttons_) {
    button->setEnabled(state.Enabled(command));
    const bool large = button->toolButtonStyle() == Qt::ToolButtonTextUnderIcon;
    const std::string label = state.KeyboardLabel(command);
    button->setText(large ? TwoLineLabel(label) : QString::fromStdString(label));
    // A screen reader reads the label on one line, without the access key's mark.
    button->setAccessibleName(QString::fromStdString(state.Label(command)));
    // Where the window is too narrow for every label, a shortened one is named whole here.
    button->setToolTip(QString::fromStdString(state.ToolTip(command)));
    if (button->isCheckable()) {
      button->setChecked(state.Checked(command));
    }
  }
  FillGallery(RibbonCommand::ChangeFirmware, state.changeFirmwareItems);
  FillGallery(RibbonCommand::CrashRecovery, state.recoveryItems);
  mode_ = state.mode;
  // Groups of the old mode go first, so the ribbon never needs the room of both at once (the
  // window would grow to make it).
  for (const bool showing : {false, true}) {
    for (const auto& group : groups_) {
      const bool shown =
          std::find(group.modes.begin(), group.modes.end(), state.mode) != group.modes.end();
      if (shown == showing) {
        group.frame->setVisible(shown);
        group.separator->setVisible(shown);
      }
    }
  }
}

QToolButton* RibbonBar::Button(RibbonCommand command) const {
  const auto found = buttons_.find(command);
  return found == buttons_.end() ? nullptr : found->second;
}

QMenu* RibbonBar::Menu(RibbonCommand command) const {
  const auto found = menus_.find(command);
  return found == menus_.end() ? nullptr : found->second;
}

QWidget* RibbonBar::GroupOf(RibbonCommand command) const {
  const auto found = groupOfCommand_.find(command);
  return found == groupOfCommand_.end() ? nullptr : found->second;
}

}  // namespace Quorvane::Center
