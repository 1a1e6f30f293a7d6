// The center's own files from arbitrary bytes: the message and feedback stores, and the
// settings file (loaded and saved as text). What one reading accepts must
// come back unchanged from writing it and reading it again.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "center/app/center_settings.h"
#include "center/messages/local_stores.h"

namespace {

using namespace Quorvane;

template <typename Item>
bool SameCommonFields(const Item& left, const Item& right) {
  return left.pk == right.pk && left.title == right.title && left.body == right.body &&
         Service::SameCalendarTime(left.created, right.created);
}

bool Same(const Service::MessageItem& left, const Service::MessageItem& right) {
  return SameCommonFields(left, right);
}

bool Same(const Service::FeedbackItem& left, const Service::FeedbackItem& right) {
  return SameCommonFields(left, right) && left.responseBody == right.responseBody &&
         Service::SameCalendarTime(left.responded, right.responded);
}

template <typename Item, typename Build, typename Parse>
void CheckRoundTrip(std::string_view text, Build build, Parse parse) {
  std::vector<std::string> skipped;
  const auto read = parse(text, skipped);
  if (!read) {
    return;
  }
  const std::vector<Item>& first = *read;
  const auto again = parse(build(first), skipped);
  if (!again || first.size() != again->size()) {
    std::abort();
  }
  const std::vector<Item>& second = *again;
  for (std::size_t index = 0; index < first.size(); ++index) {
    if (!Same(first[index], second[index])) {
      std::abort();
    }
  }
}

// A file shaped like a settings file: one root element, and setting elements that hold nothing
// but their text. The reader tolerates far stranger documents (several roots, markup inside a
// value); what it makes of those is not a settings file's round trip.
bool ShapedLikeSettings(const pugi::xml_document& document) {
  std::size_t roots = 0;
  for (auto node : document.children()) {
    roots += node.type() == pugi::node_element ? 1 : 0;
  }
  if (roots != 1) {
    return false;
  }
  for (auto setting : document.document_element().children()) {
    const auto first = setting.first_child();
    if (first && (first.type() != pugi::node_pcdata || first.next_sibling())) {
      return false;
    }
  }
  return true;
}

// A settings file that loaded still loads after a save, and every element the save could write
// reads back as saved. On texts: writing files would only cost time.
void CheckSettingsRoundTrip(std::string_view text) {
  const unsigned everyNode = pugi::parse_default | pugi::parse_pi | pugi::parse_comments;
  pugi::xml_document shape;
  if (!shape.load_buffer(text.data(), text.size(), everyNode) || !ShapedLikeSettings(shape)) {
    return;
  }
  Center::CenterSettings settings;
  std::optional<std::string> completed;
  std::string reason;
  if (!settings.LoadText(std::string(text), completed, reason)) {
    return;
  }
  settings.SetTopMostWindow(!settings.Values().topMostWindow);
  const auto saved = settings.SavedText(completed.value_or(std::string(text)));
  pugi::xml_document after;
  if (!saved || !after.load_buffer(saved->data(), saved->size())) {
    std::abort();  // a document that loaded must still load after a save
  }
  Center::CenterSettings reloaded;
  if (!reloaded.LoadText(*saved, completed, reason)) {
    std::abort();
  }
  const auto written = settings.Values();
  const auto read = reloaded.Values();
  const auto present = [&](const char* name) {
    return static_cast<bool>(after.select_node((std::string("/settings/") + name).c_str()));
  };
  if ((present("WebServicesUrl") && read.webServicesUrl != written.webServicesUrl) ||
      (present("TopMostWindow") && read.topMostWindow != written.topMostWindow) ||
      (present("EnableBetaSoftware") && read.enableBetaSoftware != written.enableBetaSoftware) ||
      (present("SecureCrashRecovery") && read.secureCrashRecovery != written.secureCrashRecovery)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckRoundTrip<Service::MessageItem>(text, Center::MessagesDocument,
                                       Center::ParseMessagesDocument);
  CheckRoundTrip<Service::FeedbackItem>(
      text,
      [](const std::vector<Service::FeedbackItem>& items) {
        return Center::FeedbackDocument(items);
      },
      [](std::string_view document, std::vector<std::string>& skipped) {
        return Center::ParseFeedbackDocument(document, skipped);
      });

  CheckSettingsRoundTrip(text);
  return 0;
}
