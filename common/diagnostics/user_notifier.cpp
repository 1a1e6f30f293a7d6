#include "common/diagnostics/user_notifier.h"

#include <cstdio>

namespace Quorvane::Diagnostics {

void StderrUserNotifier::Show(NoticeIcon, std::string_view caption, std::string_view text) {
  std::fprintf(stderr, "%.*s\n%.*s\n", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
}

void RecordingUserNotifier::Show(NoticeIcon icon, std::string_view caption, std::string_view text) {
  std::lock_guard lock(mutex_);
  notices_.push_back({icon, std::string(caption), std::string(text)});
}

std::vector<RecordingUserNotifier::Notice> RecordingUserNotifier::Notices() const {
  std::lock_guard lock(mutex_);
  return notices_;
}

void ShowErrorBox(UserNotifier& notifier, std::string_view text) {
  notifier.Show(NoticeIcon::Error, kErrorCaption, text);
}

void ShowWarningBox(UserNotifier& notifier, std::string_view text) {
  notifier.Show(NoticeIcon::Warning, kWarningCaption, text);
}

void ShowInformationBox(UserNotifier& notifier, std::string_view text) {
  notifier.Show(NoticeIcon::Information, kInformationCaption, text);
}

}  // namespace Quorvane::Diagnostics
