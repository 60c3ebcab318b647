// COvClientTracingDlg: the behaviour of the tool's main dialog, written against DialogView.
#pragma once
#include <cstdint>
#include <string>

#include "model/ov_client_tracing.h"
#include "platform/platform.h"
#include "ui/dialog_view.h"

// The window procedure of the real dialog only dispatches window messages to the handlers
// below; everything the dialog does happens here. Handlers take no notification arguments:
// none of them looks at which row or attribute changed, and those that report a
// notification result report 0, which the dispatcher does.
class COvClientTracingDlg {
 public:
  // Constructing the dialog loads the tracing list from the registry, before any window
  // exists. The platform needs registry, system, files, ui, clock and services, and what log
  // collection uses (fileIo, textFiles); the view may not have a window yet (it is only used
  // from OnInitDialog on).
  COvClientTracingDlg(ov::platform::Platform& platform, ov::ui::DialogView& view);
  virtual ~COvClientTracingDlg();
  COvClientTracingDlg(const COvClientTracingDlg&) = delete;
  COvClientTracingDlg& operator=(const COvClientTracingDlg&) = delete;

  // Initialisation and the list view.
  bool OnInitDialog();
  void RefreshList();
  void ShowCurrentEntry();

  // Editing the selected entry.
  void OnListItemChanged();
  void OnTracingEnabled();
  void OnListDoubleClick();
  void OnDirectoryChange();
  void OnDirectoryKillFocus();
  void OnLevelChange();
  void OnLevelKillFocus();

  // Bulk commands.
  void OnAllTracingOn();
  void OnAllTracingOff();
  void OnResetToDefaults();

  // Saving and leaving. OnClose is the close box / Alt+F4 / system menu Close; when it lets
  // the dialog close it ends it through OnCancel, as the default handling of a close does.
  void OnApply();
  void OnOK();
  void OnCancel();
  void OnClose();
  bool CreateDirectoryTree(const std::wstring& path);

  // Trace files.
  void OnDeleteFile();
  void OnZipUpLogFiles();

  // Runs one handler for the window procedure. An exception of the standard family that
  // escapes it, exhausted memory included, is shown in an error box as the delete command
  // shows one, and the dialog stays open and usable: nothing unwinds through the window
  // procedure.
  void RunHandler(void (COvClientTracingDlg::*handler)());

  OvClientTracingList& GetList() { return m_list; }
  const OvClientTracingEntry& GetCurrentEntry() const { return m_currentEntry; }

 private:
  // Sets every entry's enabled flag to the value, marking and storing those it changes.
  void SetAllTracing(bool enabled);
  // One restart of a service the user agreed to, under the wait cursor; a failure is shown
  // with the service's name as caption.
  void RestartService(const std::wstring& serviceName);
  // Asks 108/109 when there are unsaved changes; false when the user chose Cancel.
  bool ConfirmLeaving();
  bool HasUnsavedChanges();

  ov::platform::Platform& m_platform;
  ov::ui::DialogView& m_view;

  bool m_updating = false;
  bool m_directoryChanged = false;
  bool m_levelChanged = false;
  OvClientTracingList m_list;
  std::int32_t m_editedRow = 0;
  OvClientTracingEntry m_currentEntry;
};
