// Writing a file so that it is either complete or not there: the bytes go to
// a temporary file in the target's folder, which replaces the target only
// when all of it has been written and synced. A character device or a pipe
// (/dev/null, a terminal, a named pipe) is written into as it is: it holds
// no file to keep, and replacing it would destroy it. So is a file the
// process has open that /dev/stdout, /dev/stderr or /dev/fd/N names (a
// redirection), through its descriptor. Where the user may
// write the target but not replace it (a folder without write permission, or
// a sticky folder such as /tmp with a file of another owner), the complete
// new contents are copied into the target instead: the temporary file then
// lies in the system's temporary folder when the target's folder takes none.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>

namespace tabulor {

// Takes the next piece of the file's bytes; false when it could not be
// written (the writer then stops).
using ByteSink = std::function<bool(const char* data, std::size_t size)>;

enum class AtomicWriteOutcome {
  Ok,        // the target holds the new contents
  IsFolder,  // the target is a folder; nothing was written
  NotAFile,  // the target is a block device, a socket or the like; nothing was written
  NoReader,  // the target is a named pipe that no program reads; nothing was written
  Failed,    // a system call failed (see error); the target is as it was (see below)
  Stopped,   // the producer returned false without a failed write
};

struct AtomicWriteResult {
  AtomicWriteOutcome outcome = AtomicWriteOutcome::Failed;
  int error = 0;  // errno of the failed call for Failed, else 0
};

// Why a write that was not Ok failed, for a message: "it is a folder", "it
// is not a regular file", or the system's text for the error.
std::string AtomicWriteProblem(const AtomicWriteResult& result);

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary files of the writes
// under way before the process ends as the signal ends it (signals the
// process ignores stay ignored). A program calls it once at its start.
void RemoveTemporaryFilesOnTermination();

// A hidden temporary file next to a target, which takes the target's place
// when committed. For writers that must be given a file name (a printer);
// WriteFileAtomically is the same for bytes made in the program. The rules
// for the target are those told at WriteFileAtomically.
class PendingFile {
 public:
  // Checks the target and creates the temporary file; see status().
  explicit PendingFile(const std::string& target);
  // Removes the temporary file unless it was committed.
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Ok when the temporary file is there to be written; else why not.
  AtomicWriteResult status() const { return status_; }
  // The temporary file's name (the target itself for a device or pipe) and
  // an open descriptor for it (-1 when status() is not Ok).
  const std::string& path() const { return temp_; }
  int fd() const { return fd_; }
  // True when the target is written into as it is (a device, a pipe, an
  // open file of the process): path() then names the target itself.
  bool direct() const { return direct_; }

  // Gives the temporary file the target's mode, owner and group, syncs it,
  // closes it and renames it over the target (or copies it into the target,
  // see above). On failure the temporary file is removed and the target is
  // as it was, but for a copy that fails part way.
  AtomicWriteResult Commit();

 private:
  void OpenDevice(const struct stat& st);
  bool TakeExisting(const struct stat& st);
  void CreateTemporaryFile();
  std::string target_, folder_, temp_;
  int fd_ = -1;
  int lock_fd_ = -1;  // holds the temporary file's lock from the close to the rename
  int slot_ = -1;     // where a terminating signal finds temp_
  bool exists_ = false;
  bool direct_ = false;  // a device, pipe or open file of the process, written into as it is
  bool copy_ = false;    // the target is written over from the temporary file

  int CopyIntoTarget();  // 0 or the errno of the failed call
  mode_t mode_ = 0;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  AtomicWriteResult status_;
};

// Creates a hidden temporary file next to `target` (its name always fits
// into a folder entry, however long the target's name, and the temporary
// files that earlier saves of `target` left when killed are removed first;
// see TemporaryPrefix in the .cpp), hands `produce` a buffered
// sink that writes to it, and, when `produce` returns true and every write,
// the sync and the close succeeded, renames it over `target` and syncs the
// folder. A `target` that is a symbolic link to a file is followed: the link
// stays and the file it points to is replaced. A target that exists but
// may not be written is refused (Failed, EACCES) as writing into it would
// be. The new file keeps the permission bits of a target that exists, and
// its owner and group where the process may set them; a new target gets the
// umask's default.
// On any failure the temporary file is removed and `target` is untouched;
// the one exception is a copy into the target (see the top of this file)
// that fails part way, after the device was found to have room for it: the
// target may then be incomplete, and the failure is reported.
AtomicWriteResult WriteFileAtomically(const std::string& target,
                                      const std::function<bool(const ByteSink& sink)>& produce);

}  // namespace tabulor
