// Contract fixtures for the sim.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/sim/sim_fileio.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_textfile.h"
#include "tests/platform/contract_platform.h"

namespace contract {
namespace {
// Made on first use and removed at exit; the path is kept by the cleanup object itself so
// that its destructor never reaches a static that was destroyed before it.
struct Cleanup {
  std::filesystem::path root;
  ~Cleanup() {
    std::error_code ignored;
    if (!root.empty()) std::filesystem::remove_all(root, ignored);
  }
} cleanup;
const std::filesystem::path& Root() {
  if (cleanup.root.empty()) {
    cleanup.root = std::filesystem::temp_directory_path() / ("ovcontract-" + std::to_string(::getpid()));
    std::filesystem::remove_all(cleanup.root);
    std::filesystem::create_directories(cleanup.root / "C");
  }
  return cleanup.root;
}
ov::platform::sim::SimFileSystem& Sim() {
  static ov::platform::sim::SimFileSystem files(Root().string());
  return files;
}
}  // namespace

std::unique_ptr<ov::platform::Registry> MakeRegistry() {
  return std::make_unique<ov::platform::sim::SimRegistry>(false);
}
ov::platform::FileSystem& Files() { return Sim(); }
std::wstring FreshDirectory(const std::wstring& name) {
  const std::wstring dir = L"C:\\" + name;
  std::filesystem::remove_all(Sim().ToHostPath(dir));
  std::filesystem::create_directories(Sim().ToHostPath(dir));
  return dir;
}
void WriteBytes(const std::wstring& path, std::size_t count) {
  std::ofstream(Sim().ToHostPath(path), std::ios::binary) << std::string(count, 'z');
}
std::string ReadBytes(const std::wstring& path) {
  std::ifstream in(Sim().ToHostPath(path), std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
ov::platform::TextFiles& TextFiles() {
  static ov::platform::sim::SimTextFiles files(Sim());
  return files;
}
ov::platform::FileIo& FileIo() {
  static ov::platform::sim::SimFileIo io(Sim());
  return io;
}
int HoldOpen(const std::wstring& path, std::uint32_t access, std::uint32_t share) {
  return Sim().HoldOpen(path, access, share);
}
void Release(int token) { Sim().ReleaseShare(token); }
bool MakeSymlink(const std::wstring& target, const std::wstring& link) {
  return ::symlink(Sim().ToHostPath(target).c_str(), Sim().ToHostPath(link).c_str()) == 0;
}
bool MakeHardLink(const std::wstring& target, const std::wstring& link) {
  return ::link(Sim().ToHostPath(target).c_str(), Sim().ToHostPath(link).c_str()) == 0;
}

}  // namespace contract
