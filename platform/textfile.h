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
  // directories where ordinary users may create entries, so the file is created and
  // emptied as FileSystem's checked operations act (files.h): a link, a file with more than
  // one hard link, or a path redirected in any folder above the file gives
  // kErrorAccessDenied, and nothing is written (a directory of that name likewise).
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
