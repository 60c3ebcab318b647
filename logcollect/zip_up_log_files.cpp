// "Zip up Log Files": Save dialog, registry snapshot, then one archive member per trace log.
#include "logcollect/zip_up_log_files.h"

#include <string>
#include <vector>

#include "logcollect/registry_snapshot.h"
#include "platform/clock.h"
#include "platform/fileio.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "zip/zip_writer.h"

using namespace ov::platform;
using ov::zip::ZipResult;

namespace {

const wchar_t* const kZipErrorCaption = L"Zip error";
// Opens a link itself instead of what it points at (FILE_FLAG_OPEN_REPARSE_POINT), and the
// attribute that then shows it (FILE_ATTRIBUTE_REPARSE_POINT).
constexpr std::uint32_t kOpenReparsePoint = 0x00200000;
constexpr std::uint32_t kAttributeReparsePoint = 0x00000400;

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

// Closes a handle on every way out of the scope that opened it.
class HandleOwner {
 public:
  explicit HandleOwner(FileIo& io) : m_io(io) {}
  HandleOwner(const HandleOwner&) = delete;
  HandleOwner& operator=(const HandleOwner&) = delete;
  ~HandleOwner() { Close(); }
  FileHandle* Out() { return &m_handle; }
  FileHandle Get() const { return m_handle; }
  ErrorCode Close() {
    const ErrorCode error = m_handle != kNoFile ? m_io.Close(m_handle) : kSuccess;
    m_handle = kNoFile;
    return error;
  }

 private:
  FileIo& m_io;
  FileHandle m_handle = kNoFile;
};

// The archive while it is written: a new file beside the chosen one, which takes the chosen
// name only once it is complete on disk. Until then an archive of that name stays as it was,
// and on every way out but a successful Commit, an exception included, the new file goes.
class PendingArchive {
 public:
  PendingArchive(FileIo& io, Clock& clock, FileSystem& files) : m_io(io), m_clock(clock), m_files(files), m_file(io) {}
  PendingArchive(const PendingArchive&) = delete;
  PendingArchive& operator=(const PendingArchive&) = delete;
  ~PendingArchive() { Discard(); }

  // A name no file has yet (created new, so nothing that exists is ever opened through), and
  // the archive started on it. False when either fails.
  bool Create(const std::wstring& chosenPath) {
    for (int attempt = 1; m_file.Get() == kNoFile; ++attempt) {
      const std::wstring path = chosenPath + L"." + std::to_wstring(attempt) + L".tmp";
      const ErrorCode error =
          m_io.Open(path, kAccessWrite, kShareNone, kCreateNew, kAttributeNormal | kOpenReparsePoint, m_file.Out());
      if (error == kSuccess) {
        m_temporaryPath = path;
      } else if ((error != kErrorFileExists && error != kErrorAlreadyExists) || attempt == 100) {
        return false;
      }
    }
    m_chosenPath = chosenPath;
    ov::zip::ZipTarget target;
    target.handle = m_file.Get();
    m_zip = ov::zip::CreateZipArchive(m_io, m_clock, target, 0, ov::zip::ZipSourceKind::Handle);
    return m_zip != nullptr;
  }
  ov::zip::ZipHandle* Zip() const { return m_zip; }

  // Central directory, flush, close, then the chosen name. A failure of any step leaves the
  // new file for Discard and gives its ZipResult: 1024 for the archive's own file, 512 when
  // the chosen name cannot be given to it.
  ZipResult Commit() {
    ZipResult result = ov::zip::CloseZipArchive(m_zip);
    m_zip = nullptr;
    if (result == ZipResult::Ok && m_io.Flush(m_file.Get()) != kSuccess) result = ZipResult::WriteFailed;
    if (m_file.Close() != kSuccess && result == ZipResult::Ok) result = ZipResult::WriteFailed;
    if (result == ZipResult::Ok && m_files.MoveReplacing(m_temporaryPath, m_chosenPath) != kSuccess) {
      result = ZipResult::CannotOpenFile;
    }
    if (result == ZipResult::Ok) m_temporaryPath.clear();
    return result;
  }

  void Discard() {
    if (m_zip != nullptr) ov::zip::CloseZipArchive(m_zip);  // frees the writer; the file goes anyway
    m_zip = nullptr;
    m_file.Close();
    if (!m_temporaryPath.empty()) m_files.RemoveFile(m_temporaryPath);
    m_temporaryPath.clear();
  }

 private:
  FileIo& m_io;
  Clock& m_clock;
  FileSystem& m_files;
  HandleOwner m_file;
  ov::zip::ZipHandle* m_zip = nullptr;
  std::wstring m_chosenPath;
  std::wstring m_temporaryPath;
};

// Failures that cost one member and leave the archive as writable as before; anything else
// means the archive's own file failed, and no further member can help.
bool CostsOnlyTheMember(ZipResult result) {
  return result == ZipResult::CannotOpenFile || result == ZipResult::BadArguments;
}

// Adds the logs one by one and reports each that cannot be added; stops at the first failure
// of the archive itself and returns it.
ZipResult AddTraceLogs(ov::zip::ZipHandle* zip, Platform& platform, const std::wstring& traceDirectory,
                       int* leftOut) {
  std::vector<FileSystem::EntryInfo> matches;
  // A failed search leaves no matches: the archive then holds no members, as for an empty
  // directory.
  platform.files->FindFiles(g_traceFileMask, &matches);
  for (const FileSystem::EntryInfo& entry : matches) {
    // Ordinary users may create entries in the trace directory. A link there could make the
    // elevated tool copy a file they may not read into an archive that leaves the machine,
    // so links and junctions are passed over like directories.
    if (entry.directory || entry.reparsePoint) continue;
    HandleOwner log(*platform.fileIo);
    ZipResult result = ZipResult::CannotOpenFile;
    // Read where the tool means to read, with the component that writes the log going on: a
    // link in the name or in any folder above it is refused on the open handle.
    if (platform.fileIo->OpenCheckedForReading(traceDirectory + L"\\" + entry.name, log.Out()) == kSuccess) {
      ov::zip::ZipTarget source;
      source.handle = log.Get();
      result = ov::zip::AddZipMember(zip, entry.name, source, 0, ov::zip::ZipSourceKind::Handle);
    }
    if (result == ZipResult::Ok) continue;
    if (!CostsOnlyTheMember(result)) return result;
    const std::wstring text = L"Error " + std::to_wstring(static_cast<std::uint32_t>(result)) + L" adding '" +
                              entry.name + L"' to zip file.";
    platform.ui->ShowMessage(text, kZipErrorCaption, kMbOk);
    ++*leftOut;
  }
  return ZipResult::Ok;
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

ov::logcollect::Collection ov::logcollect::CollectLogs(OvClientTracingList& list, Platform& platform,
                                                       const std::wstring& archivePath) {
  const std::wstring traceDirectory = list.GetDefaultDirectory();
  FileSystem& files = *platform.files;
  UserInteraction& ui = *platform.ui;
  WaitCursor cursor(ui);
  Collection collection;
  collection.snapshot = ov::logcollect::WriteRegistrySnapshot(*platform.registry, traceDirectory, *platform.textFiles);

  // The search below runs in the current directory, so it must be the trace directory.
  if (files.SetWorkingDirectory(traceDirectory) != kSuccess) {
    ui.ShowMessage(traceDirectory, L"Error changing directory", kMbOk);
    return collection;
  }
  PendingArchive archive(*platform.fileIo, *platform.clock, files);
  if (!archive.Create(archivePath)) {
    archive.Discard();
    ui.ShowMessage(L"Error creating zip file", kZipErrorCaption, kMbOk);
    return collection;
  }
  ZipResult result = AddTraceLogs(archive.Zip(), platform, traceDirectory, &collection.logsLeftOut);
  if (result == ZipResult::Ok) result = archive.Commit();
  if (result != ZipResult::Ok) {
    archive.Discard();
    ui.ShowMessage(L"Error " + std::to_wstring(static_cast<std::uint32_t>(result)) + L" writing zip file.",
                   kZipErrorCaption, kMbOk);
    return collection;
  }
  collection.written = true;
  return collection;
}
