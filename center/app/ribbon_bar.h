// The ribbon: an application menu, the tab "Main" and its groups of large buttons, each with its
// caption under it. It shows a RibbonState and reports what the user executes; it decides
// nothing itself.
//
// Groups from left to right and the application modes they show in:
//
//   Group            Buttons                                             Modes
//   Main             Refresh, Check for Updates, Update Updater          0, 1, 2
//   Tools            Calibrate, Reset                                    1 (a channel or button)
//   Firmware         Change Firmware (gallery), Update Firmware          2 (a device line)
//   Firmware         Crash Recovery (gallery), Secure Crash Recovery     0, 1, 2
//   Other            Enable Beta Software, Top Most Window, About        0, 1, 2
//                    (small buttons, one above the other)
//   Communication    Your Feedback, From Quorvane                        0, 1, 2
//   Screenshot       Capture Window (Capture to Clipboard, to File...)   0, 1, 2
//
// The groups that act on a selected row show only while such a row is selected, so the ribbon
// fits the window's width in every mode.
#pragma once

#include <QMenu>
#include <QToolButton>
#include <QWidget>
#include <map>
#include <vector>

#include "center/app/ribbon_state.h"

class QLabel;

namespace Quorvane::Center {

class RibbonBar final : public QWidget {
  Q_OBJECT

 public:
  explicit RibbonBar(QWidget* parent = nullptr);

  // Shows the state: enable states, toggles, labels, gallery items and the groups of its mode.
  void Apply(const RibbonState& state);

  QToolButton* Button(RibbonCommand command) const;
  // The item list of a gallery (Change Firmware, Crash Recovery) or the Capture Window menu.
  QMenu* Menu(RibbonCommand command) const;
  // The group frame a button sits in (to test which groups a mode shows).
  QWidget* GroupOf(RibbonCommand command) const;
  RibbonMode Mode() const { return mode_; }

 signals:
  // A command was executed; the parameter is the gallery item, or the toggle's new state (1/0).
  void Executed(RibbonCommand command, int parameter);

 private:
  struct Group {
    QWidget* frame;
    QWidget* separator;
    std::vector<RibbonMode> modes;
  };
  QWidget* AddGroup(const QString& caption, std::vector<RibbonMode> modes);
  enum class Size { Large, Small };
  QToolButton* AddButton(QWidget* group, RibbonCommand command, const QString& icon,
                         Size size = Size::Large);
  QToolButton* AddToggle(QWidget* group, RibbonCommand command, const QString& icon,
                         Size size = Size::Large);
  QToolButton* AddGallery(QWidget* group, RibbonCommand command, const QString& icon);
  void FillGallery(RibbonCommand command, const std::vector<std::string>& items);
  void FinishGroup(QWidget* group, const QString& caption);

  QWidget* groupRow_ = nullptr;
  QColor groupLabel_;
  QString groupLine_;
  QMenu* applicationMenu_ = nullptr;
  std::vector<Group> groups_;
  std::map<RibbonCommand, QToolButton*> buttons_;
  std::map<RibbonCommand, QMenu*> menus_;
  std::map<RibbonCommand, QWidget*> groupOfCommand_;
  std::map<RibbonCommand, GalleryExecution> galleries_;
  std::map<RibbonCommand, int> lastPreview_;
  RibbonMode mode_ = RibbonMode::NothingSelected;
};

}  // namespace Quorvane::Center
