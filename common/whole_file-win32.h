#pragma once
// Files the user names on the command line: one written whole or not at all, and
// whether two names are one file.
#include <string>

/// Writes `bytes` to a new file beside `path`, flushes it and only then moves it over
/// `path` (created or replaced). When any step fails the new file is removed and `path`
/// stays as it was; false with the reason in `error`: "it is a directory", "it is
/// read-only", or the failed call and the system's words ("MoveFileEx: Access is denied (5)").
bool WriteFileWhole(const std::string& path, const std::string& bytes, std::string& error);

/// True when both names can be opened and are one file (the same volume and file
/// index), however each is spelled: another case, ".\", a trailing dot, "::$DATA", a
/// hard link. A name that cannot be opened (a file that does not exist yet) is no
/// other file.
bool IsSameFile(const std::string& a, const std::string& b);
