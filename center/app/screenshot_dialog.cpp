#include "center/app/screenshot_dialog.h"

#include <QFileInfo>
#include <QMessageBox>

#include "center/app/screenshot_files.h"
#include "common/diagnostics/user_notifier.h"

namespace Quorvane::Center {

ScreenshotFileDialog::ScreenshotFileDialog(QWidget* parent) : QFileDialog(parent) {
  setObjectName(QStringLiteral("ScreenshotFileDialog"));
  // Qt's own dialog: the desktop's would take a name without asking this one first.
  setOption(QFileDialog::DontUseNativeDialog);
  setWindowTitle(QString::fromLatin1(kScreenshotTitle));
  setAcceptMode(QFileDialog::AcceptSave);
  setFileMode(QFileDialog::AnyFile);
  QStringList filters;
  for (const auto& type : ScreenshotTypes()) {
    filters << QStringLiteral("%1 (%2)").arg(QLatin1String(type.label),
                                             QLatin1String(type.pattern));
  }
  setNameFilters(filters);
  selectNameFilter(filters.front());
}

std::size_t ScreenshotFileDialog::ChosenType() const {
  const qsizetype index = nameFilters().indexOf(selectedNameFilter());
  return index < 0 ? 0 : static_cast<std::size_t>(index);
}

std::string ScreenshotFileDialog::ChosenFile() const {
  const QStringList files = selectedFiles();
  return files.isEmpty()
             ? std::string()
             : ScreenshotFileName(files.front().toStdString(), ScreenshotTypes()[ChosenType()]);
}

const char* ScreenshotFileDialog::ChosenFormat() const {
  return ScreenshotTypes()[ChosenType()].format;
}

void ScreenshotFileDialog::accept() {
  const QStringList files = selectedFiles();
  if (!files.isEmpty() && IsUrlFileName(files.front().toStdString())) {
    QMessageBox::information(
        this,
        QString::fromLatin1(Diagnostics::kInformationCaption.data(),
                            static_cast<qsizetype>(Diagnostics::kInformationCaption.size())),
        QString::fromLatin1(kUrlRefused));
    return;
  }
  // The dialog asks before it replaces the name as typed; the type's extension added to it can
  // name another file that exists, and that one is asked about here.
  const std::string completed = ChosenFile();
  if (!files.isEmpty() && completed != files.front().toStdString() &&
      QFileInfo::exists(QString::fromStdString(completed)) &&
      QMessageBox::question(this, windowTitle(),
                            tr("%1 already exists.\nDo you want to replace it?")
                                .arg(QString::fromStdString(completed)),
                            QMessageBox::Yes | QMessageBox::No,
                            QMessageBox::No) != QMessageBox::Yes) {
    return;
  }
  QFileDialog::accept();
}

}  // namespace Quorvane::Center
