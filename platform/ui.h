// The user-interaction concept: message boxes, the cursor and the Save dialog.
#pragma once
#include <cstdint>
#include <string>

namespace ov::platform {

// Message box flags and answers, as in winuser.h.
inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbOkCancel = 0x1;
inline constexpr std::uint32_t kMbYesNoCancel = 0x3;
inline constexpr std::uint32_t kMbYesNo = 0x4;
inline constexpr std::uint32_t kMbIconError = 0x10;
inline constexpr std::uint32_t kMbIconQuestion = 0x20;
inline constexpr std::uint32_t kMbIconWarning = 0x30;
inline constexpr std::uint32_t kMbIconInformation = 0x40;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

using CursorHandle = std::uintptr_t;

// What a Save dialog offers: the extension appended to a name typed without one (".zip"),
// the proposed file name, and one filter ("Zip Files (*.zip)" showing "*.zip").
struct SaveDialogRequest {
  std::wstring defaultExtension;
  std::wstring initialName;
  std::wstring filterName;
  std::wstring filterPattern;
};

class UserInteraction {
 public:
  virtual ~UserInteraction() = default;
  // A message box without owner window; returns the button chosen.
  virtual int ShowMessage(const std::wstring& text, const std::wstring& caption,
                          std::uint32_t flags) = 0;
  // The same with 8-bit text (exception messages).
  virtual int ShowMessage8(const std::string& text, const std::string& caption,
                           std::uint32_t flags) = 0;
  // Shows the wait cursor and returns the cursor shown before (0 when there was none).
  virtual CursorHandle ShowWaitCursor() = 0;
  // Shows the given cursor again, or the standard arrow when it is 0.
  virtual void RestoreCursor(CursorHandle previous) = 0;
  // A modal Save dialog without owner window that does not ask before replacing an existing
  // file. True with the chosen full path; false when the user cancels or the dialog fails.
  virtual bool AskSavePath(const SaveDialogRequest& request, std::wstring* path) = 0;
};

}  // namespace ov::platform
