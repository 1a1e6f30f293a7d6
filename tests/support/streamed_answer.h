// An answer of a string array read by the streaming reader in pieces of one size, through one
// buffer used again for each piece as the transfer library hands them over (a piece that is not
// full ends where a full one would): its status and its items, a nil item read empty.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/service_client/soap_answer_stream.h"

namespace Quorvane::Testing {

struct StreamedAnswer {
  Service::ResponseStatus status;
  std::vector<std::string> strings;
  bool inOrder = true;  // every item began with the next number
  bool operator==(const StreamedAnswer&) const = default;
};

inline StreamedAnswer StreamAnswer(Service::Operation operation, const std::string& answer,
                                   std::size_t pieceSize, std::size_t otherLimit = SIZE_MAX) {
  struct Items final : Service::StringItemSink {
    bool BeginItem(std::size_t index) override {
      inOrder = inOrder && index == strings.size();
      strings.resize(index + 1);
      return true;
    }
    bool ItemText(std::string_view piece) override {
      strings.back() += piece;
      return true;
    }
    bool EndItem() override { return true; }
    std::vector<std::string> strings;
    bool inOrder = true;
  } items;
  Service::StringArrayAnswerReader reader(operation, items, otherLimit);
  std::string buffer(pieceSize, '\0');
  for (std::size_t at = 0; at < answer.size(); at += pieceSize) {
    const std::size_t size = std::min(pieceSize, answer.size() - at);
    answer.copy(buffer.data() + pieceSize - size, size, at);
    if (!reader.Feed(std::string_view(buffer.data() + pieceSize - size, size))) break;
  }
  const Service::ResponseStatus status = reader.Finish();
  return {status, std::move(items.strings), items.inOrder};
}

}  // namespace Quorvane::Testing
