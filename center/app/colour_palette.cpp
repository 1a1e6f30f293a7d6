#include "center/app/colour_palette.h"

#include <QApplication>
#include <QBuffer>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QImageReader>
#include <QStyle>
#include <QStyleFactory>
#include <cstdlib>

namespace Quorvane::Center {
namespace {

// The freedesktop settings portal's colour-scheme: 0 no preference, 1 dark, 2 light.
std::optional<unsigned> DesktopColourPreference() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return std::nullopt;
  QDBusMessage read = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.portal.Desktop"),
      QStringLiteral("/org/freedesktop/portal/desktop"),
      QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
  read << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
  // A bus without the portal answers at once, a session's running portal within milliseconds;
  // a hung one holds the start for a second at most.
  const QDBusMessage reply = bus.call(read, QDBus::Block, 1000);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    return std::nullopt;
  }
  // The value comes as a variant inside a variant.
  QVariant value = reply.arguments().first();
  while (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
    value = value.value<QDBusVariant>().variant();
  }
  bool isNumber = false;
  const unsigned preference = value.toUInt(&isNumber);
  return isNumber ? std::optional<unsigned>(preference) : std::nullopt;
}

QPalette DarkPalette() {
  const QColor window(53, 53, 53);
  const QColor base(35, 35, 35);
  const QColor text(235, 235, 235);
  const QColor disabled(128, 128, 128);
  QPalette palette;
  palette.setColor(QPalette::Window, window);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Base, base);
  palette.setColor(QPalette::AlternateBase, window);
  palette.setColor(QPalette::ToolTipBase, base);
  palette.setColor(QPalette::ToolTipText, text);
  palette.setColor(QPalette::PlaceholderText, disabled);
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Button, window);
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::BrightText, QColor(255, 90, 90));
  palette.setColor(QPalette::Light, QColor(80, 80, 80));
  palette.setColor(QPalette::Midlight, QColor(66, 66, 66));
  palette.setColor(QPalette::Mid, QColor(90, 90, 90));
  palette.setColor(QPalette::Dark, QColor(25, 25, 25));
  palette.setColor(QPalette::Shadow, QColor(10, 10, 10));
  palette.setColor(QPalette::Highlight, QColor(38, 102, 170));  // white text on it at 6:1
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::Link, QColor(90, 160, 240));
  palette.setColor(QPalette::LinkVisited, QColor(170, 130, 240));
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    palette.setColor(QPalette::Disabled, role, disabled);
  }
  palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(80, 80, 80));
  return palette;
}

}  // namespace

Ui::Rgb ToRgb(const QColor& colour) {
  return {static_cast<std::uint8_t>(colour.red()), static_cast<std::uint8_t>(colour.green()),
          static_cast<std::uint8_t>(colour.blue())};
}

void ApplyColourScheme() {
  const char* setting = std::getenv("QUORVANE_COLOUR_SCHEME");
  ColourScheme scheme = ChooseColourScheme(setting ? setting : "", std::nullopt);
  if (scheme == ColourScheme::Desktop) {
    scheme = ChooseColourScheme("", DesktopColourPreference());
  }
  if (scheme == ColourScheme::Desktop) return;
  const bool paletteIsDark = IsDark(ToRgb(QApplication::palette().color(QPalette::Base)));
  if ((scheme == ColourScheme::Dark) == paletteIsDark) return;  // the desktop's already
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setPalette(scheme == ColourScheme::Dark ? DarkPalette()
                                                        : QApplication::style()->standardPalette());
}

QIcon PaletteIcon(const QString& resource, const QPalette& palette) {
  if (!IsDark(ToRgb(palette.color(QPalette::Window)))) return QIcon(resource);
  QFile file(resource);
  if (!file.open(QIODevice::ReadOnly)) return QIcon(resource);
  QByteArray drawing = file.readAll();
  drawing.replace("#2d3436", "#dfe6e9");
  // Drawn at every size a ribbon or a list asks for, at 100 % and 200 %.
  QIcon icon;
  for (const int size : {16, 32, 64}) {
    QBuffer buffer(&drawing);
    QImageReader reader(&buffer, "svg");
    reader.setScaledSize(QSize(size, size));
    const QImage image = reader.read();
    if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon.isNull() ? QIcon(resource) : icon;
}

CenterColours CenterColoursOf(const QPalette& palette) {
  return CenterColoursFor(
      {ToRgb(palette.color(QPalette::Window)), ToRgb(palette.color(QPalette::Base)),
       ToRgb(palette.color(QPalette::Text)), ToRgb(palette.color(QPalette::Highlight)),
       ToRgb(palette.color(QPalette::Mid))});
}

}  // namespace Quorvane::Center
