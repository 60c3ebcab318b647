// "Zip up Log Files": Save dialog, registry snapshot, then one archive member per trace log.
#include "logcollect/zip_up_log_files.h"

#include <string>
#include <vector>

#include "logcollect/registry_snapshot.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "zip/zip_writer.h"

using namespace ov::platform;

namespace {

const wchar_t* const kZipErrorCaption = L"Zip error";

// The wait cursor for as long as the command works, and the previous one again on every way
// out, an exception included.
class WaitCursor {
 public:
  explicit WaitCursor(UserInteraction& ui) : m_ui(ui), m_previous(ui.ShowWaitCursor()) {}
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  ~WaitCursor() { m_ui.RestoreCursor(m_previous); }

 private:
  UserInteraction& m_ui;
  CursorHandle m_previous;
};

// Owns the archive from its creation until it is closed, so an exception cannot leave the
// archive file open and without its central directory.
class ArchiveOwner {
 public:
  explicit ArchiveOwner(ov::zip::ZipHandle* zip) : m_zip(zip) {}
  ArchiveOwner(const ArchiveOwner&) = delete;
  ArchiveOwner& operator=(const ArchiveOwner&) = delete;
  ~ArchiveOwner() { Close(); }
  ov::zip::ZipHandle* Get() const { return m_zip; }
  void Close() {
    if (m_zip != nullptr) ov::zip::CloseZipArchive(m_zip);  // its result is not shown
    m_zip = nullptr;
  }

 private:
  ov::zip::ZipHandle* m_zip;
};

bool AddTraceLogs(ov::zip::ZipHandle* zip, Platform& platform) {
  bool all = true;
  std::vector<FileSystem::EntryInfo> matches;
  // A failed search leaves no matches: the archive then holds no members, as for an empty
  // directory.
  platform.files->FindFiles(g_traceFileMask, &matches);
  for (const FileSystem::EntryInfo& entry : matches) {
    // Ordinary users may create entries in the trace directory. A link there could make the
    // elevated tool copy a file they may not read into an archive that leaves the machine,
    // so links and junctions are passed over like directories.
    if (entry.directory || entry.reparsePoint) continue;
    ov::zip::ZipTarget source;
    source.path = entry.name;  // resolves against the trace directory, the current one
    const ov::zip::ZipResult result =
        ov::zip::AddZipMember(zip, entry.name, source, 0, ov::zip::ZipSourceKind::FileName);
    if (result != ov::zip::ZipResult::Ok) {
      const std::wstring text = L"Error " + std::to_wstring(static_cast<std::uint32_t>(result)) + L" adding '" +
                                entry.name + L"' to zip file.";
      platform.ui->ShowMessage(text, kZipErrorCaption, kMbOk);
      all = false;
    }
  }
  return all;
}

}  // namespace

void ZipUpLogFiles(OvClientTracingList& list, Platform& platform) {
  const std::wstring traceDirectory = list.GetDefaultDirectory();
  FileSystem& files = *platform.files;
  UserInteraction& ui = *platform.ui;
  // The trace directory is the current one from here on, also when the user cancels. A
  // missing directory is reported only once there is an archive that it would have gone to.
  files.SetWorkingDirectory(traceDirectory);

  SaveDialogRequest request;
  request.defaultExtension = L".zip";
  request.initialName = g_defaultArchiveName;
  request.filterName = L"Zip Files (*.zip)";
  request.filterPattern = L"*.zip";
  std::wstring archivePath;
  if (!ui.AskSavePath(request, &archivePath)) return;
  ov::logcollect::CollectLogs(list, platform, archivePath);
}

bool ov::logcollect::CollectLogs(OvClientTracingList& list, Platform& platform, const std::wstring& archivePath) {
  const std::wstring traceDirectory = list.GetDefaultDirectory();
  FileSystem& files = *platform.files;
  UserInteraction& ui = *platform.ui;
  WaitCursor cursor(ui);
  ov::logcollect::WriteRegistrySnapshot(list, traceDirectory, *platform.textFiles);

  // The search below runs in the current directory, so it must be the trace directory.
  if (files.SetWorkingDirectory(traceDirectory) != kSuccess) {
    ui.ShowMessage(traceDirectory, L"Error changing directory", kMbOk);
    return false;
  }
  ov::zip::ZipTarget target;
  target.path = archivePath;
  ArchiveOwner archive(ov::zip::CreateZipArchive(*platform.fileIo, target, 0, ov::zip::ZipSourceKind::FileName));
  if (archive.Get() == nullptr) {
    ui.ShowMessage(L"Error creating zip file", kZipErrorCaption, kMbOk);
    return false;
  }
  const bool all = AddTraceLogs(archive.Get(), platform);
  archive.Close();
  return all;
}
