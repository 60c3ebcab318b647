// OvTracingCtl: the dialog's jobs as console commands, for scripts and remote shells.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/ui.h"

namespace ov::console {

// Where the companion's text goes; each call is one whole line without its line break.
class ConsoleOutput {
 public:
  virtual ~ConsoleOutput() = default;
  virtual void Out(const std::wstring& line) = 0;
  virtual void Err(const std::wstring& line) = 0;
};

// The exit codes scripts test.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The user interaction of a process nobody watches: every message box the shared code shows
// becomes a line on the error output ("caption: text"), and a question is answered with its
// most careful button (No, or Cancel where there is one) without waiting for anyone. A
// console command never asks, so a question reaching here is a failure to report anyway.
class ConsoleUserInteraction final : public platform::UserInteraction {
 public:
  explicit ConsoleUserInteraction(ConsoleOutput& output) : m_output(output) {}
  int ShowMessage(const std::wstring& text, const std::wstring& caption, std::uint32_t flags) override;
  int ShowMessage8(const std::string& text, const std::string& caption, std::uint32_t flags) override;
  platform::CursorHandle ShowWaitCursor() override { return 0; }
  void RestoreCursor(platform::CursorHandle) override {}
  bool AskSavePath(const platform::SaveDialogRequest&, std::wstring*) override { return false; }
  // How many messages were shown since construction; every one of them reports a failure.
  int MessagesShown() const { return m_messages; }

 private:
  ConsoleOutput& m_output;
  int m_messages = 0;
};

// Runs one command line (the arguments after the program name) and returns the exit code.
// The platform's ui must be a ConsoleUserInteraction over the same output, so that what the
// shared code reports reaches the error output and counts as a failure.
int RunTracingCtl(const std::vector<std::wstring>& arguments, platform::Platform& platform,
                  ConsoleUserInteraction& ui, ConsoleOutput& output);

// The usage text, one line per element.
std::vector<std::wstring> UsageLines();

}  // namespace ov::console
