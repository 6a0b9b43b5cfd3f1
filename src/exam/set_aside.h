#pragma once
// The last catalogue and the last package of a question stay usable until their fresh copies
// have arrived: instead of being deleted before a download, the file is moved to its set-aside
// copy beside it (hidden, one per file), which is read in its place while the fresh file is
// missing and dropped once the fresh file stands there.
#include <string>
#include <string_view>

namespace tovren::exam {

// c:\Kavrel\config.ini -> c:\Kavrel\.config.ini.last: a name no package, question folder or
// server-given name has, hidden as well on Windows.
std::string setAsidePath(std::string_view path);

// Moves the file at `path` to its set-aside copy, replacing an earlier copy of the same file.
// True when nothing stands at `path` afterwards (moved, or nothing was there, and then an
// earlier copy is kept). False, with the file where it was, when it cannot be moved (a
// read-only folder, a full disk, a folder in its place): the caller then does what it would
// do without a set-aside copy.
bool setAside(std::string_view path);

// Drops the set-aside copy once the fresh file stands at `path`.
void dropStaleCopy(std::string_view path);

// The file to read for `path`: the file itself when it stands there (its set-aside copy, now
// stale, is dropped), else the set-aside copy when there is one, else `path` (missing).
std::string latestCopy(std::string_view path);

}  // namespace tovren::exam
