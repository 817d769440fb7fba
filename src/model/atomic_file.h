// Writing a file so that it is either complete or not there: the bytes go to
// a temporary file in the target's folder, which replaces the target only
// when all of it has been written and synced.
#pragma once

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
  Failed,    // a system call failed (see error); the target is as it was
  Stopped,   // the producer returned false without a failed write
};

struct AtomicWriteResult {
  AtomicWriteOutcome outcome = AtomicWriteOutcome::Failed;
  int error = 0;  // errno of the failed call for Failed, else 0
};

// Creates a hidden temporary file next to `target` (its name always fits
// into a folder entry, however long the target's name), hands `produce` a
// sink that writes to it, and, when `produce` returns true and every write,
// the sync and the close succeeded, renames it over `target` and syncs the
// folder. A `target` that is a symbolic link to a file is followed: the link
// stays and the file it points to is replaced. A target that exists but
// may not be written is refused (Failed, EACCES) as writing into it would
// be. The new file keeps the permission bits of a target that exists, and
// its owner and group where the process may set them; a new target gets the
// umask's default.
// On any failure the temporary file is removed and `target` is untouched.
AtomicWriteResult WriteFileAtomically(const std::string& target,
                                      const std::function<bool(const ByteSink& sink)>& produce);

}  // namespace tabulor
