// User interaction of the sim: message boxes answered from a script and recorded.
#pragma once
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace ov::platform::sim {

class SimUserInteraction final : public UserInteraction {
 public:
  struct Shown {
    std::wstring text;
    std::wstring caption;
    std::uint32_t flags = 0;
    int answer = 0;
    bool eightBit = false;
  };
  static constexpr CursorHandle kArrow = 1;
  static constexpr CursorHandle kWait = 2;

  // Answers for the next questions, in order. When the script runs dry a box gets its first
  // button (OK or Yes) and the miss is counted, so a test can tell it was not expected.
  std::deque<int> answers;
  std::vector<Shown> shown;
  int unscripted = 0;
  CursorHandle cursor = kArrow;
  int waitCursorCalls = 0;

  // Answers for the next Save dialogs: a path, or nullopt for Cancel. When the script runs
  // dry the dialog is cancelled and the miss counted in unscripted.
  std::deque<std::optional<std::wstring>> savePaths;
  struct SaveAsked {
    SaveDialogRequest request;
    CursorHandle cursor = 0;  // the cursor while the dialog was up
  };
  std::vector<SaveAsked> saveDialogs;

  int ShowMessage(const std::wstring& text, const std::wstring& caption, std::uint32_t flags) override {
    return Record(text, caption, flags, false);
  }
  int ShowMessage8(const std::string& text, const std::string& caption, std::uint32_t flags) override {
    return Record(std::wstring(text.begin(), text.end()), std::wstring(caption.begin(), caption.end()),
                  flags, true);
  }
  CursorHandle ShowWaitCursor() override {
    ++waitCursorCalls;
    const CursorHandle previous = cursor;
    cursor = kWait;
    return previous;
  }
  void RestoreCursor(CursorHandle previous) override { cursor = previous != 0 ? previous : kArrow; }
  bool AskSavePath(const SaveDialogRequest& request, std::wstring* path) override {
    saveDialogs.push_back(SaveAsked{request, cursor});
    if (savePaths.empty()) {
      ++unscripted;
      return false;
    }
    std::optional<std::wstring> answer = std::move(savePaths.front());
    savePaths.pop_front();
    if (!answer) return false;
    *path = std::move(*answer);
    return true;
  }

 private:
  int Record(std::wstring text, std::wstring caption, std::uint32_t flags, bool eightBit) {
    int answer = 0;
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    } else {
      ++unscripted;
      const std::uint32_t buttons = flags & 0xF;
      answer = (buttons == kMbYesNo || buttons == kMbYesNoCancel) ? kIdYes : kIdOk;
    }
    shown.push_back(Shown{std::move(text), std::move(caption), flags, answer, eightBit});
    return answer;
  }
};

}  // namespace ov::platform::sim
