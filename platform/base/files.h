#pragma once
// Files, directories and the program's own location.
#include <cstdint>
#include <string>
#include <vector>

// The running executable's full name and directory (with a trailing '/'), from /proc/self/exe.
std::string ExeFileName();
std::string ExeDirectory();

bool FileExists(const std::string& FileName);       // a non-directory entry
bool DirectoryExists(const std::string& Directory);
int64_t FileSize64(const std::string& FileName);    // -1 when it cannot be examined
bool DeleteFile(const std::string& FileName);
bool RenameFile(const std::string& OldName, const std::string& NewName);
bool CreateDir(const std::string& Directory);
bool ForceDirectories(const std::string& Directory);
bool RemoveDir(const std::string& Directory);
std::string GetCurrentDir();

// Names (not paths) of the entries of Directory whose names match Pattern ('*' and '?', ASCII case
// ignored), sorted; directories only with IncludeDirs. "." and ".." are never listed.
std::vector<std::string> ListDirectory(const std::string& Directory, const std::string& Pattern = "*",
                                       bool IncludeDirs = false);

// The system's temporary directory with a trailing '/': $TMPDIR when set and existing, else /tmp/.
std::string TempDirectory();

// Reads or writes a whole file. ReadFileBytes raises EFOpenError; WriteFileBytes EFCreateError.
std::string ReadFileBytes(const std::string& FileName);
void WriteFileBytes(const std::string& FileName, const std::string& Data);
