// Copying of XML character data that needs no care, at the speed of a memory copy: the Base64 of
// a file in an answer is hundreds of megabytes, with a character reference ending every line.
#pragma once

#include <cstddef>
#include <string_view>

namespace Quorvane::Service {

struct PlainTextCopied {
  std::size_t read = 0;
  std::size_t written = 0;
};

// Copies `in` into `out` (room for `room` bytes) up to the first character that needs care
// ('<', '&', CR, NUL) or until the room is full, reading each "&#xD;" on the way as the CR it
// stands for.
PlainTextCopied CopyPlainText(std::string_view in, char* out, std::size_t room);

}  // namespace Quorvane::Service
