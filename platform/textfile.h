// The text-file concept: a new plain file written as the C runtime's text mode writes it.
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace ov::platform {

// An open text file. Every line feed written lands in the file as carriage return plus line
// feed, as _write on a descriptor opened with _O_TEXT does it; nothing else is changed.
// Destroying the object closes the file.
class TextFile {
 public:
  virtual ~TextFile() = default;
  // Writes all of the bytes; the first failure's code, the rest then unwritten.
  virtual ErrorCode Write(std::string_view bytes) = 0;
};

class TextFiles {
 public:
  virtual ~TextFiles() = default;

  // Creates the file empty (an existing plain file is emptied) and opens it for reading and
  // writing, sharing reading and writing with others. The elevated tool writes into
  // directories where ordinary users may create entries, so the file is never written
  // through a symbolic link, junction or other reparse point, nor into a file that has more
  // than one hard link: such an entry is removed (a link, never what it points at) and a new
  // plain file created in its place. Where that cannot be done, nothing is opened and the
  // code says why (a directory of that name, for instance, gives kErrorAccessDenied).
  virtual ErrorCode CreatePlainTextFile(const std::wstring& path, std::unique_ptr<TextFile>* file) = 0;
};

// The text-mode translation itself, shared by every implementation.
inline std::string ToTextMode(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 16 + 1);
  for (char c : bytes) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

}  // namespace ov::platform
