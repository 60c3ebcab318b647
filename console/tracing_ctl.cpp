// OvTracingCtl's command line: parsing, the commands, and what they print.
#include "console/tracing_ctl.h"

#include <algorithm>
#include <cwctype>
#include <optional>
#include <variant>

#include "commands/tracing_commands.h"
#include "logcollect/zip_up_log_files.h"
#include "model/ov_client_tracing.h"
#include "platform/files.h"
#include "platform/system.h"

using namespace ov::platform;

namespace ov::console {

namespace {

// What each command takes. A changing command saves at once and accepts --restart.
struct CommandShape {
  const wchar_t* name;
  std::size_t arguments;
  bool changes;
  bool takesLevel;
  bool takesJson;
};
constexpr CommandShape kCommands[] = {
    {L"status", 0, false, false, true},  {L"enable", 1, true, true, false}, {L"disable", 1, true, false, false},
    {L"level", 2, true, false, false},   {L"dir", 1, true, false, false},   {L"all-on", 0, true, false, false},
    {L"all-off", 0, true, false, false}, {L"reset", 0, true, false, false}, {L"delete", 1, false, false, false},
    {L"collect", 1, false, false, false},
};

struct Invocation {
  const CommandShape* shape = nullptr;
  std::vector<std::wstring> arguments;
  bool json = false;
  bool restart = false;
  std::optional<std::wstring> level;
};

// A usage error: the reason, then the usage, on the error output.
struct UsageError {
  std::wstring reason;
};

std::variant<Invocation, UsageError> Parse(const std::vector<std::wstring>& words) {
  if (words.empty()) return UsageError{L"No command given."};
  Invocation call;
  for (const CommandShape& shape : kCommands) {
    if (words[0] == shape.name) call.shape = &shape;
  }
  if (call.shape == nullptr) return UsageError{L"Unknown command '" + words[0] + L"'."};
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::wstring& word = words[i];
    if (word == L"--json" && call.shape->takesJson) {
      call.json = true;
    } else if (word == L"--restart" && call.shape->changes) {
      call.restart = true;
    } else if (word == L"--level" && call.shape->takesLevel) {
      if (i + 1 == words.size()) return UsageError{L"--level needs a VALUE."};
      call.level = words[++i];
    } else if (word.size() > 2 && word.compare(0, 2, L"--") == 0) {
      return UsageError{L"Unknown option '" + word + L"' for '" + call.shape->name + L"'."};
    } else {
      call.arguments.push_back(word);
    }
  }
  if (call.arguments.size() < call.shape->arguments) {
    return UsageError{L"'" + std::wstring(call.shape->name) + L"' needs more arguments."};
  }
  if (call.arguments.size() > call.shape->arguments) {
    return UsageError{L"Unexpected argument '" + call.arguments[call.shape->arguments] + L"'."};
  }
  return call;
}

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
    return std::towlower(static_cast<wint_t>(x)) == std::towlower(static_cast<wint_t>(y));
  });
}

// "C:\..." or "\\server\share\...": the only forms a trace directory or an archive path
// given to a script can mean without depending on where the script happens to stand.
bool IsAbsolutePath(const std::wstring& path) {
  if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') return true;
  return path.size() >= 3 && std::iswalpha(static_cast<wint_t>(path[0])) && path[1] == L':' && path[2] == L'\\';
}

std::wstring JsonString(const std::wstring& text) {
  std::wstring out = L"\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += L'\\';
      out += c;
    } else if (c < 0x20) {
      static const wchar_t kHex[] = L"0123456789abcdef";
      out += L"\\u00";
      out += kHex[(c >> 4) & 0xF];
      out += kHex[c & 0xF];
    } else {
      out += c;
    }
  }
  return out + L"\"";
}

std::wstring Joined(const std::vector<std::wstring>& parts) {
  std::wstring out;
  for (const std::wstring& part : parts) out += (out.empty() ? L"" : L", ") + part;
  return out;
}

class Session {
 public:
  Session(Platform& platform, ConsoleOutput& output) : m_platform(platform), m_output(output), m_list(platform) {}

  int Run(const Invocation& call);

 private:
  std::optional<std::int32_t> FindComponent(const std::wstring& name);
  void Status(bool json);
  void SetEnabled(std::int32_t index, bool enabled, const std::optional<std::wstring>& level);
  void SetLevel(std::int32_t index, const std::wstring& level);
  void SetDirectory(std::wstring directory);
  void Delete(std::int32_t index);
  void Collect(const std::wstring& archive);
  void SaveAndRestart(bool restart);
  void Fail(const std::wstring& reason) {
    m_output.Err(reason);
    m_failed = true;
  }

  Platform& m_platform;
  ConsoleOutput& m_output;
  OvClientTracingList m_list;
  bool m_failed = false;
  bool m_usage = false;
};

std::optional<std::int32_t> Session::FindComponent(const std::wstring& name) {
  std::vector<std::wstring> names;
  for (std::int32_t i = 0; i < m_list.GetCount(); ++i) {
    const std::wstring entryName = m_list.GetEntry(i).m_name;
    if (SameTextIgnoringCase(entryName, name)) return i;
    names.push_back(L"\"" + entryName + L"\"");
  }
  m_output.Err(L"Unknown component '" + name + L"'. Components on this machine: " + Joined(names) + L".");
  m_usage = true;
  return std::nullopt;
}

void Session::Status(bool json) {
  const std::int32_t count = m_list.GetCount();
  std::vector<std::vector<std::wstring>> rows;
  std::vector<bool> enabled;
  for (std::int32_t i = 0; i < count; ++i) {
    const OvClientTracingEntry entry = m_list.GetEntry(i);
    enabled.push_back(entry.m_enabled != 0);
    rows.push_back({entry.m_name, entry.m_enabled ? L"Yes" : L"No", entry.m_level,
                    ov::commands::TraceFilePath(m_list, i), m_list.GetFileSizeText(i)});
  }
  if (json) {
    std::wstring text = L"{\"directory\": " + JsonString(m_list.GetDefaultDirectory()) + L", \"components\": [";
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (i != 0) text += L", ";
      text += L"{\"name\": " + JsonString(rows[i][0]) + L", \"enabled\": " + (enabled[i] ? L"true" : L"false") +
              L", \"level\": " + JsonString(rows[i][2]) + L", \"file\": " + JsonString(rows[i][3]) +
              L", \"size\": " + JsonString(rows[i][4]) + L"}";
    }
    m_output.Out(text + L"]}");
    return;
  }
  // Columns padded to their widest cell, as the dialog's list sizes them; the last one is not.
  std::vector<std::size_t> widths(5, 0);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  m_output.Out(L"Directory: " + m_list.GetDefaultDirectory());
  for (const auto& row : rows) {
    std::wstring line;
    for (std::size_t c = 0; c + 1 < row.size(); ++c) line += row[c] + std::wstring(widths[c] - row[c].size() + 2, L' ');
    m_output.Out(line + row.back());
  }
}

void Session::SetEnabled(std::int32_t index, bool enabled, const std::optional<std::wstring>& level) {
  const OvClientTracingEntry entry = m_list.GetEntry(index);
  if (level && !entry.m_pathValueName.empty()) {
    m_output.Err(entry.m_name + L" has no tracing level of its own.");
    m_usage = true;
    return;
  }
  // Switching to the state it already has changes nothing and needs no restart.
  if ((entry.m_enabled != 0) != enabled) ov::commands::SetTracingEnabled(m_list, index, enabled);
  if (level) SetLevel(index, *level);
  m_output.Out(entry.m_name + (enabled ? L": tracing on" : L": tracing off") +
               (level ? L", level " + *level : std::wstring()) + L".");
}

void Session::SetLevel(std::int32_t index, const std::wstring& level) {
  const OvClientTracingEntry entry = m_list.GetEntry(index);
  if (!entry.m_pathValueName.empty()) {
    m_output.Err(entry.m_name + L" has no tracing level of its own.");
    m_usage = true;
    return;
  }
  if (level.empty()) {
    m_output.Err(L"The level must not be empty.");
    m_usage = true;
    return;
  }
  if (entry.m_level != level) ov::commands::SetTracingLevel(m_list, index, level);
}

void Session::SetDirectory(std::wstring directory) {
  // One trailing separator goes, as when the directory is typed into the dialog; a drive's
  // root keeps its own.
  if (directory.size() > 3 && directory.back() == L'\\') directory.pop_back();
  if (!IsAbsolutePath(directory)) {
    m_output.Err(L"The trace directory must be a full path such as C:\\Logs or \\\\server\\share\\Logs.");
    m_usage = true;
    return;
  }
  FileSystem& files = *m_platform.files;
  std::wstring workingDirectory;
  const bool recorded = files.GetWorkingDirectory(&workingDirectory) == kSuccess;
  if (files.SetWorkingDirectory(directory) != kSuccess && !ov::commands::CreateDirectoryTree(files, directory)) {
    // Saved all the same, as the dialog saves after telling: the setting is what was asked for.
    Fail(L"The directory " + directory + L" could not be created.");
  }
  if (recorded) files.SetWorkingDirectory(workingDirectory);
  m_list.SetDefaultDirectory(directory);
  m_output.Out(L"Trace directory: " + directory);
}

void Session::Delete(std::int32_t index) {
  const std::wstring path = ov::commands::TraceFilePath(m_list, index);
  const ov::commands::DeleteOutcome outcome = ov::commands::DeleteOrEmptyTraceFile(m_list, *m_platform.files, index);
  if (outcome.emptied) {
    if (outcome.error != kSuccess) {
      Fail(L"The trace file " + path + L" could not be emptied.  Error " + std::to_wstring(outcome.error));
    } else {
      m_output.Out(L"Emptied " + path + L" (its tracing is on).");
    }
  } else if (outcome.error != kSuccess) {
    Fail(ov::commands::DeletionErrorText(outcome.error) + L"  (" + path + L")");
  } else {
    m_output.Out(L"Deleted " + path + L".");
  }
}

void Session::Collect(const std::wstring& archive) {
  std::wstring path = archive;
  if (!IsAbsolutePath(path)) {
    // Collection works inside the trace directory: a relative name means the caller's folder.
    std::wstring here;
    if (m_platform.files->GetWorkingDirectory(&here) != kSuccess) {
      Fail(L"The current directory could not be read; give the archive as a full path.");
      return;
    }
    if (!here.empty() && here.back() == L'\\') here.pop_back();
    path = (!path.empty() && path[0] == L'\\') ? here.substr(0, 2) + path : here + L"\\" + path;
  }
  const ov::logcollect::Collection collection = ov::logcollect::CollectLogs(m_list, m_platform, path);
  if (collection.written) m_output.Out(L"Wrote " + path);
  // The dialog leaves a missing snapshot unsaid; a script must learn that support lacks it.
  if (collection.written && !collection.snapshot) Fail(L"The archive holds no registry snapshot (OvReg.log).");
  if (!collection.Complete()) m_failed = true;
}

void Session::SaveAndRestart(bool restart) {
  const std::vector<std::wstring> services = ov::commands::ServicesNeedingRestart(m_list);
  if (!m_list.SaveToRegistry()) {
    // Not saved: restarting now would only pick up the old settings.
    m_failed = true;
    return;
  }
  if (services.empty()) return;
  if (!restart) {
    m_output.Out(L"Restart needed: " + Joined(services) + L" (not restarted; use --restart).");
    return;
  }
  for (const std::wstring& service : services) {
    const ov::commands::RestartOutcome outcome = ov::commands::RestartHostingService(m_platform, service);
    if (outcome.restarted) {
      m_output.Out(L"Restarted " + service + L".");
    } else {
      Fail(service + L": " + std::wstring(outcome.message.begin(), outcome.message.end()));
    }
  }
}

int Session::Run(const Invocation& call) {
  const std::wstring command = call.shape->name;
  if (m_list.GetCount() == 0) {
    m_output.Err(L"No tracing entries found.");
    return kExitFailed;
  }
  std::optional<std::int32_t> component;
  if (command == L"enable" || command == L"disable" || command == L"level" || command == L"delete") {
    component = FindComponent(call.arguments[0]);
    if (!component) return kExitUsage;
  }
  if (command == L"status") Status(call.json);
  else if (command == L"enable") SetEnabled(*component, true, call.level);
  else if (command == L"disable") SetEnabled(*component, false, std::nullopt);
  else if (command == L"level") {
    SetLevel(*component, call.arguments[1]);
    if (!m_usage) m_output.Out(m_list.GetEntry(*component).m_name + L": level " + call.arguments[1] + L".");
  }
  else if (command == L"dir") SetDirectory(call.arguments[0]);
  else if (command == L"all-on") ov::commands::SetAllTracing(m_list, true);
  else if (command == L"all-off") ov::commands::SetAllTracing(m_list, false);
  else if (command == L"reset") ov::commands::ResetToDefaults(m_list, *m_platform.system);
  else if (command == L"delete") Delete(*component);
  else if (command == L"collect") Collect(call.arguments[0]);
  if (m_usage) return kExitUsage;
  if (call.shape->changes) SaveAndRestart(call.restart);
  return m_failed ? kExitFailed : kExitDone;
}

}  // namespace

int ConsoleUserInteraction::ShowMessage(const std::wstring& text, const std::wstring& caption, std::uint32_t flags) {
  ++m_messages;
  m_output.Err(caption.empty() ? text : caption + L": " + text);
  switch (flags & 0xF) {
    case kMbYesNoCancel:
    case kMbOkCancel:
      return kIdCancel;
    case kMbYesNo:
      return kIdNo;
    default:
      return kIdOk;
  }
}

int ConsoleUserInteraction::ShowMessage8(const std::string& text, const std::string& caption, std::uint32_t flags) {
  // Exception texts and service names: 8-bit as the failure boxes show them.
  return ShowMessage(std::wstring(text.begin(), text.end()), std::wstring(caption.begin(), caption.end()), flags);
}

std::vector<std::wstring> UsageLines() {
  return {
      L"Usage: OvTracingCtl COMMAND [ARGUMENTS] [OPTIONS]",
      L"",
      L"  status [--json]                    the components' tracing and the trace directory",
      L"  enable COMPONENT [--level VALUE]   switch a component's tracing on",
      L"  disable COMPONENT                  switch a component's tracing off",
      L"  level COMPONENT VALUE              set a component's tracing level",
      L"  dir PATH                           set the trace directory (created when missing)",
      L"  all-on | all-off                   switch every component's tracing on or off",
      L"  reset                              tracing off, default levels and directory",
      L"  delete COMPONENT                   delete a trace file (empty it while tracing is on)",
      L"  collect ARCHIVE                    the trace logs and a registry snapshot in a ZIP archive",
      L"  --help                             this text",
      L"",
      L"  --restart  (with a changing command) restart the services the change needs",
      L"",
      L"COMPONENT: \"Shared Engine Service\", \"Popup Manager\", \"Message Client\", \"Spooler Hooks\"",
      L"(any case). A change is saved at once. Exit codes: 0 done, 1 failed, 2 usage error.",
  };
}

namespace {

// A usage error ends with the usage itself, so a script's log shows what would have worked.
int UsageFailure(ConsoleOutput& output) {
  for (const std::wstring& line : UsageLines()) output.Err(line);
  return kExitUsage;
}

}  // namespace

int RunTracingCtl(const std::vector<std::wstring>& arguments, Platform& platform, ConsoleUserInteraction& ui,
                  ConsoleOutput& output) {
  if (arguments.size() == 1 && (arguments[0] == L"--help" || arguments[0] == L"-h" || arguments[0] == L"/?")) {
    for (const std::wstring& line : UsageLines()) output.Out(line);
    return kExitDone;
  }
  const auto parsed = Parse(arguments);
  if (const UsageError* error = std::get_if<UsageError>(&parsed)) {
    output.Err(error->reason);
    return UsageFailure(output);
  }
  // Checked here rather than by the manifest: a remote shell cannot answer an elevation
  // prompt, and without elevation every write to HKEY_LOCAL_MACHINE would fail one by one.
  if (!platform.system->IsProcessElevated()) {
    output.Err(L"OvTracingCtl needs an elevated (administrator) command prompt or remote session.");
    return kExitFailed;
  }
  const int messagesBefore = ui.MessagesShown();
  Session session(platform, output);
  const int code = session.Run(std::get<Invocation>(parsed));
  if (code == kExitUsage) return UsageFailure(output);
  // The shared code reports its failures as messages; any of them fails the command.
  if (code == kExitDone && ui.MessagesShown() != messagesBefore) return kExitFailed;
  return code;
}

}  // namespace ov::console
