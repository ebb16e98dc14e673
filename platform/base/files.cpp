#include "platform/base/files.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/base/streams.h"
#include "platform/base/strings.h"

std::string ExeFileName() {
  char Buf[4096];
  ssize_t N = ::readlink("/proc/self/exe", Buf, sizeof Buf - 1);
  if (N <= 0) return {};
  return std::string(Buf, static_cast<size_t>(N));
}

std::string ExeDirectory() { return ExtractFilePath(ExeFileName()); }

bool FileExists(const std::string& FileName) {
  struct stat St;
  return !FileName.empty() && ::stat(FileName.c_str(), &St) == 0 && !S_ISDIR(St.st_mode);
}

bool DirectoryExists(const std::string& Directory) {
  struct stat St;
  return !Directory.empty() && ::stat(Directory.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

int64_t FileSize64(const std::string& FileName) {
  struct stat St;
  if (FileName.empty() || ::stat(FileName.c_str(), &St) != 0 || S_ISDIR(St.st_mode)) return -1;
  return static_cast<int64_t>(St.st_size);
}

bool DeleteFile(const std::string& FileName) { return !FileName.empty() && ::unlink(FileName.c_str()) == 0; }

bool RenameFile(const std::string& OldName, const std::string& NewName) {
  return ::rename(OldName.c_str(), NewName.c_str()) == 0;
}

bool CreateDir(const std::string& Directory) { return ::mkdir(Directory.c_str(), 0777) == 0; }

bool ForceDirectories(const std::string& Directory) {
  std::string D = ExcludeTrailingPathDelimiter(Directory);
  if (D.empty()) return false;
  if (DirectoryExists(D)) return true;
  std::string Parent = ExtractFileDir(D);
  if (!Parent.empty() && Parent != D && !ForceDirectories(Parent)) return false;
  return CreateDir(D) || DirectoryExists(D);
}

bool RemoveDir(const std::string& Directory) { return ::rmdir(Directory.c_str()) == 0; }

std::string GetCurrentDir() {
  char Buf[4096];
  return ::getcwd(Buf, sizeof Buf) ? std::string(Buf) : std::string();
}

std::vector<std::string> ListDirectory(const std::string& Directory, const std::string& Pattern, bool IncludeDirs) {
  std::vector<std::string> R;
  DIR* D = ::opendir(Directory.empty() ? "." : Directory.c_str());
  if (!D) return R;
  std::string Base = IncludeTrailingPathDelimiter(Directory.empty() ? "." : Directory);
  while (dirent* E = ::readdir(D)) {
    std::string Name = E->d_name;
    if (Name == "." || Name == "..") continue;
    if (::fnmatch(Pattern.c_str(), Name.c_str(), FNM_CASEFOLD) != 0) continue;
    bool IsDir = DirectoryExists(Base + Name);
    if (IsDir && !IncludeDirs) continue;
    R.push_back(Name);
  }
  ::closedir(D);
  std::sort(R.begin(), R.end());
  return R;
}

std::string TempDirectory() {
  const char* T = std::getenv("TMPDIR");
  if (T && *T && DirectoryExists(T)) return IncludeTrailingPathDelimiter(T);
  return "/tmp/";
}

std::string ReadFileBytes(const std::string& FileName) {
  TFileStream F(FileName, fmOpenRead | fmShareDenyWrite);
  int64_t N = F.Size();
  std::string R(static_cast<size_t>(N > 0 ? N : 0), '\0');
  if (N > 0) F.ReadBuffer(R.data(), N);
  return R;
}

void WriteFileBytes(const std::string& FileName, const std::string& Data) {
  TFileStream F(FileName, fmCreate);
  F.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
}
