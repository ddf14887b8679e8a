#include "platform/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zolva {

namespace {

// Temporary names tried before giving up: a name left by a run that crashed is skipped.
constexpr int kTempNameTries = 100;

std::string Reason(int error) {
  return error != 0 ? std::string(std::strerror(error)) : std::string("write failed");
}

// Pushes the file's data to the disk, so that the rename never makes visible a name whose
// data a power cut could still lose.
int SyncToDisk(std::FILE* f) {
#if defined(ZOLVA_SKIP_DISK_SYNC)
  // The fuzz build: durability is not what it tests, and a sync costs milliseconds per file.
  (void)f;
  return 0;
#elif defined(_WIN32)
  return _commit(_fileno(f));
#else
  return fsync(fileno(f));
#endif
}

}  // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : path_(std::move(other.path_)),
      temp_(std::move(other.temp_)),
      file_(std::exchange(other.file_, nullptr)),
      finished_(other.finished_),
      committed_(std::exchange(other.committed_, true)),
      error_(std::move(other.error_)) {
  other.temp_.clear();
}

AtomicFile::~AtomicFile() {
  if (!committed_) Discard();
}

bool AtomicFile::Fail(int error, const char* what) {
  if (error_.empty()) error_ = std::string(what) + ": " + Reason(error);
  return false;
}

bool AtomicFile::Open() {
  if (file_ || finished_ || committed_) return Fail(EINVAL, "open");
  for (int n = 1; n <= kTempNameTries; ++n) {
    temp_ = path_ + ".~" + std::to_string(n) + ".tmp";
    errno = 0;
    // "x": the name must be new, so that two writers never share a temporary file.
    file_ = std::fopen(temp_.c_str(), "wbx");
    if (file_) return true;
    if (errno != EEXIST) break;
  }
  const int error = errno;
  temp_.clear();
  return Fail(error, "cannot create a file in its folder");
}

bool AtomicFile::Write(std::string_view bytes) {
  if (!file_) return Fail(EBADF, "write");
  if (bytes.empty()) return true;
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    const int error = errno;
    return Fail(error, "write");
  }
  return true;
}

bool AtomicFile::Finish() {
  if (!file_) return Fail(EBADF, "close");
  errno = 0;
  bool ok = std::fflush(file_) == 0 && SyncToDisk(file_) == 0;
  int error = errno;
  std::FILE* f = std::exchange(file_, nullptr);
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) return Fail(error, "write");
  finished_ = true;
  return true;
}

bool AtomicFile::Commit() {
  if (!finished_ && !Finish()) return false;
  std::error_code ec;
  std::filesystem::rename(temp_, path_, ec);
  if (ec) {
    if (error_.empty()) error_ = "cannot replace the file: " + ec.message();
    return false;
  }
  committed_ = true;
  temp_.clear();
  return true;
}

void AtomicFile::Discard() {
  if (file_) std::fclose(std::exchange(file_, nullptr));
  if (!temp_.empty()) {
    std::error_code ec;
    std::filesystem::remove(temp_, ec);
    temp_.clear();
  }
  finished_ = false;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
  AtomicFile file(path);
  if (file.Open() && file.Write(bytes) && file.Commit()) return true;
  error = file.error();
  return false;
}

bool ReadFileBytes(const std::string& path, std::string& bytes, bool& exists, std::string& error) {
  bytes.clear();
  exists = false;
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    if (errno == ENOENT) return true;
    error = "cannot read it: " + Reason(errno);
    return false;
  }
  exists = true;
  char buffer[1 << 14];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  const bool failed = std::ferror(f) != 0;
  const int readError = errno;
  std::fclose(f);
  if (failed) {
    error = "cannot read it: " + Reason(readError);
    return false;
  }
  return true;
}

}  // namespace zolva
