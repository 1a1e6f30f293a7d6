// The tray icon: tip "Kestrane", a menu to open the window or quit (after a question), and a
// double-click that shows the window. Qt adds the icon again when the tray restarts.
#pragma once

#include <QMenu>
#include <QSystemTrayIcon>

namespace Quorvane::Center {

class TrayIcon final : public QObject {
  Q_OBJECT

 public:
  explicit TrayIcon(QObject* parent = nullptr);
  ~TrayIcon() override;

  // Whether the desktop shows tray icons at all; without one, closing the window must not hide it.
  static bool Available();
  QSystemTrayIcon& Icon() { return icon_; }
  QMenu& Menu() { return menu_; }

 signals:
  void OpenRequested();
  void ExitRequested();

 private:
  QMenu menu_;
  QSystemTrayIcon icon_;
};

}  // namespace Quorvane::Center
