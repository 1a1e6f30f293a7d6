// Message boxes: what the user is told when something fails. The window supplies the real one;
// without a display the text goes to the standard error stream.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvane::Diagnostics {

enum class NoticeIcon { Error, Warning, Information, Question };

inline constexpr std::string_view kErrorCaption = "An Error Occurred!";
inline constexpr std::string_view kWarningCaption = "Warning!";
inline constexpr std::string_view kInformationCaption = "For Your Information!";

class UserNotifier {
 public:
  virtual ~UserNotifier() = default;
  // Shows a modal notice and returns when the user has dismissed it.
  virtual void Show(NoticeIcon icon, std::string_view caption, std::string_view text) = 0;
};

class StderrUserNotifier final : public UserNotifier {
 public:
  void Show(NoticeIcon icon, std::string_view caption, std::string_view text) override;
};

// Keeps every notice in memory, for tests.
class RecordingUserNotifier final : public UserNotifier {
 public:
  struct Notice {
    NoticeIcon icon;
    std::string caption;
    std::string text;
  };

  void Show(NoticeIcon icon, std::string_view caption, std::string_view text) override;
  std::vector<Notice> Notices() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Notice> notices_;
};

void ShowErrorBox(UserNotifier& notifier, std::string_view text);
void ShowWarningBox(UserNotifier& notifier, std::string_view text);
void ShowInformationBox(UserNotifier& notifier, std::string_view text);

}  // namespace Quorvane::Diagnostics
