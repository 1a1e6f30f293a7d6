#include "center/app/tray_icon.h"

#include "center/app/center_resources.h"

namespace Quorvane::Center {

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {
  EnsureCenterResources();
  icon_.setIcon(QIcon(QStringLiteral(":/icons/kestrane.svg")));
  icon_.setToolTip(QStringLiteral("Kestrane"));
  connect(menu_.addAction(QStringLiteral("&Open Kestrane")), &QAction::triggered, this,
          &TrayIcon::OpenRequested);
  connect(menu_.addAction(QStringLiteral("E&xit")), &QAction::triggered, this,
          &TrayIcon::ExitRequested);
  icon_.setContextMenu(&menu_);
  connect(&icon_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
              emit OpenRequested();
            }
          });
  if (Available()) {
    icon_.show();
  }
}

TrayIcon::~TrayIcon() { icon_.hide(); }

bool TrayIcon::Available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

}  // namespace Quorvane::Center
