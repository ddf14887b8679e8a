// Files that are replaced whole or not at all. The bytes go to a temporary file in the folder of
// the target; only when every byte is written, flushed to the disk and the file closed does the
// temporary file take the target's name. A full disk, a missing folder or a crash in between
// leaves the earlier file as it was.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace zolva {

class AtomicFile {
 public:
  // Nothing touches the disk before Open.
  explicit AtomicFile(std::string path);
  // Removes the temporary file unless it was committed.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  AtomicFile(AtomicFile&& other) noexcept;
  AtomicFile& operator=(AtomicFile&&) = delete;

  // Creates the temporary file next to the target.
  bool Open();
  bool Write(std::string_view bytes);
  // Flushes, syncs and closes the temporary file: it now holds everything and waits to be
  // committed. Several files can be finished first and committed together.
  bool Finish();
  // Renames the finished temporary file over the target.
  bool Commit();
  // Removes the temporary file; the target stays as it was.
  void Discard();

  const std::string& path() const { return path_; }
  // Why the first failing step failed ("No space left on device", ...); empty while all went well.
  const std::string& error() const { return error_; }

 private:
  bool Fail(int error, const char* what);

  std::string path_;
  std::string temp_;
  std::FILE* file_ = nullptr;
  bool finished_ = false;
  bool committed_ = false;
  std::string error_;
};

// Replaces the file at path by bytes through a temporary file. On failure returns false with the
// reason in error, and the file at path is untouched.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error);

// Reads the whole file at path into bytes. A missing file reads as empty with exists false; any
// other failure returns false with the reason in error.
bool ReadFileBytes(const std::string& path, std::string& bytes, bool& exists, std::string& error);

}  // namespace zolva
