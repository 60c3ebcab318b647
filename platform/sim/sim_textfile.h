// Text files of the sim: real host files under the sim file system, with its share modes.
#pragma once
#include <functional>
#include <string>

#include "platform/sim/sim_files.h"
#include "platform/textfile.h"

namespace ov::platform::sim {

enum class TextFileOp { Create, Write };

class SimTextFiles final : public TextFiles {
 public:
  // Paths map through the file system, and every open takes part in its share-mode table.
  explicit SimTextFiles(SimFileSystem& files) : m_files(files) {}

  ErrorCode CreatePlainTextFile(const std::wstring& path, std::unique_ptr<TextFile>* file) override;

  // A non-zero result fails the operation with that code and no effect.
  using FailureHook = std::function<ErrorCode(TextFileOp op, const std::wstring& path)>;
  void SetFailureHook(FailureHook hook) { m_hook = std::move(hook); }

 private:
  ErrorCode Hook(TextFileOp op, const std::wstring& path) const { return m_hook ? m_hook(op, path) : kSuccess; }

  SimFileSystem& m_files;
  FailureHook m_hook;
};

}  // namespace ov::platform::sim
