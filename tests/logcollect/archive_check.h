// Independent readers judge the archives: Python's zipfile and Info-ZIP's unzip.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

namespace ov::test {

// Checks the archive with Python's zipfile and, when it has members, with `unzip -t` (every CRC, and every member
// equal to the file of that name in sourceDirectory). Returns the member names in archive
// order; on any failure *error describes it.
inline std::vector<std::string> CheckedMembers(const std::string& archive, const std::string& sourceDirectory,
                                               std::string* error) {
  error->clear();
  const std::string quotedArchive = "'" + archive + "'";
  static const char* const kScript =
      "import os, sys, zipfile\n"
      "z = zipfile.ZipFile(sys.argv[1])\n"
      "bad = z.testzip()\n"
      "if bad is not None: sys.exit('bad CRC in ' + bad)\n"
      "for i in z.infolist():\n"
      "    with open(os.path.join(sys.argv[2], i.filename), 'rb') as f:\n"
      "        if z.read(i) != f.read(): sys.exit('content differs: ' + i.filename)\n"
      "    print(i.filename)\n";
  const std::string command = "python3 -c \"$OV_ZIPCHECK\" " + quotedArchive + " '" + sourceDirectory + "' 2>&1";
  ::setenv("OV_ZIPCHECK", kScript, 1);
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    *error = "cannot run python3";
    return {};
  }
  std::vector<std::string> names;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string name(line);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    names.push_back(name);
  }
  if (::pclose(pipe) != 0) {
    *error = "zipfile: ";
    for (const auto& n : names) *error += n + " ";
    return {};
  }
  // unzip calls an archive without members a warning (exit code 1), so it judges the others.
  if (!names.empty() && std::system(("unzip -tqq " + quotedArchive + " >/dev/null 2>&1").c_str()) != 0) {
    *error = "unzip -t rejects " + archive;
    return {};
  }
  return names;
}

}  // namespace ov::test
