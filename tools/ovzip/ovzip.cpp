// ovzip: writes a ZIP archive of files, or the raw Deflate stream of one file.
//   ovzip ARCHIVE FILE...     members named by the files' base names
//   ovzip --deflate IN OUT    OUT receives IN's Deflate (RFC 1951) stream
#include <cstdio>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/fileio.h"
#include "zip/deflate.h"
#include "zip/zip_writer.h"

#ifdef _WIN32
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_fileio.h"
#else
#include <filesystem>

#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_fileio.h"
#include "platform/sim/sim_files.h"
#endif

namespace {

using ov::platform::Clock;
using ov::platform::FileHandle;
using ov::platform::FileIo;

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(static_cast<std::uint32_t>(c) < 128 ? static_cast<char>(c) : '?');
  return out;
}

std::wstring BaseName(const std::wstring& path) {
  const auto cut = path.find_last_of(L"/\\");
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

struct HandlePair {
  FileIo* io;
  FileHandle in;
  FileHandle out;
  bool failed = false;
};

std::uint32_t ReadIn(void* context, std::uint8_t* buffer, std::uint32_t size) {
  auto* pair = static_cast<HandlePair*>(context);
  std::uint32_t got = 0;
  if (pair->io->Read(pair->in, buffer, size, &got) != ov::platform::kSuccess) {
    pair->failed = true;
    return 0;
  }
  return got;
}

void WriteOut(void* context, std::uint8_t* buffer, std::uint32_t* fill) {
  auto* pair = static_cast<HandlePair*>(context);
  std::uint32_t written = 0;
  if (pair->io->Write(pair->out, buffer, *fill, &written) != ov::platform::kSuccess || written != *fill) {
    pair->failed = true;
  }
  if (written > 0) *fill = 0;
}

int DeflateFile(FileIo& io, const std::wstring& in, const std::wstring& out) {
  HandlePair pair{&io, ov::platform::kNoFile, ov::platform::kNoFile};
  if (ov::platform::ErrorCode e = io.Open(in, ov::platform::kAccessRead, ov::platform::kShareRead,
                                          ov::platform::kOpenExisting, ov::platform::kAttributeNormal, &pair.in);
      e != ov::platform::kSuccess) {
    std::fprintf(stderr, "ovzip: cannot open %s (error %u)\n", Narrow(in).c_str(), e);
    return 1;
  }
  if (ov::platform::ErrorCode e = io.Open(out, ov::platform::kAccessWrite, ov::platform::kShareNone,
                                          ov::platform::kCreateAlways, ov::platform::kAttributeNormal, &pair.out);
      e != ov::platform::kSuccess) {
    std::fprintf(stderr, "ovzip: cannot create %s (error %u)\n", Narrow(out).c_str(), e);
    io.Close(pair.in);
    return 1;
  }
  std::vector<std::uint8_t> buffer(16384);
  ov::zip::DeflateIo dio;
  dio.read = &ReadIn;
  dio.write = &WriteOut;
  dio.context = &pair;
  dio.outputBuffer = buffer.data();
  dio.outputSize = static_cast<std::uint32_t>(buffer.size());
  std::uint64_t compressed = 0;
  std::string check;
  const std::uint32_t result = ov::zip::DeflateStream(dio, &compressed, &check);
  io.Close(pair.in);
  io.Close(pair.out);
  if (result != 0 || pair.failed) {
    std::fprintf(stderr, "ovzip: deflating %s failed%s%s\n", Narrow(in).c_str(), check.empty() ? "" : ": ",
                 check.c_str());
    return 1;
  }
  return 0;
}

int ZipFiles(FileIo& io, Clock& clock, const std::wstring& archive, const std::vector<std::wstring>& files) {
  ov::zip::ZipResult result = ov::zip::ZipResult::Ok;
  ov::zip::ZipHandle* zip =
      ov::zip::CreateZipArchive(io, clock, ov::zip::ZipTarget{archive}, 0, ov::zip::ZipSourceKind::FileName,
                                &result);
  if (zip == nullptr) {
    std::fprintf(stderr, "ovzip: cannot create %s (result %u)\n", Narrow(archive).c_str(),
                 static_cast<unsigned>(result));
    return 1;
  }
  int status = 0;
  for (const std::wstring& file : files) {
    result = ov::zip::AddZipMember(zip, BaseName(file), ov::zip::ZipTarget{file}, 0, ov::zip::ZipSourceKind::FileName);
    if (result != ov::zip::ZipResult::Ok) {
      std::fprintf(stderr, "ovzip: %s not added (result %u)\n", Narrow(file).c_str(), static_cast<unsigned>(result));
      status = 1;
    }
  }
  result = ov::zip::CloseZipArchive(zip);
  if (result != ov::zip::ZipResult::Ok) {
    std::fprintf(stderr, "ovzip: closing %s failed (result %u)\n", Narrow(archive).c_str(),
                 static_cast<unsigned>(result));
    status = 1;
  }
  return status;
}

int Run(FileIo& io, Clock& clock, const std::vector<std::wstring>& args) {
  if (args.size() == 3 && args[0] == L"--deflate") return DeflateFile(io, args[1], args[2]);
  if (args.size() >= 2 && args[0] != L"--deflate") {
    return ZipFiles(io, clock, args[0], std::vector<std::wstring>(args.begin() + 1, args.end()));
  }
  std::fprintf(stderr, "usage: ovzip ARCHIVE FILE...\n       ovzip --deflate IN OUT\n");
  return 2;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  ov::platform::win32::Win32FileIo io;
  ov::platform::win32::Win32Clock clock;
  return Run(io, clock, args);
}
#else
int main(int argc, char** argv) {
  // The sim takes a path that starts with "/" as a host path, so host paths are made absolute.
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    args.push_back(ov::platform::sim::HostToWide(arg.rfind("--", 0) == 0 ? arg : std::filesystem::absolute(arg).string()));
  }
  ov::platform::sim::SimFileSystem files("/");
  ov::platform::sim::SimFileIo io(files);
  ov::platform::sim::SimClock clock;
  return Run(io, clock, args);
}
#endif
