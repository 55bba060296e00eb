// Whole-file storage shared by the registry store and profile files: a reader
// sees either the old or the new contents, never a mix, and read-modify-write
// cycles of several processes (or threads) follow one another.
#pragma once

#include <functional>
#include <string>

namespace plat {

enum class FileRead { kRead, kMissing, kFailed };

// Reads the whole file into `contents`.
FileRead read_whole_file(const std::string& path, std::string& contents);

// Holds an exclusive lock on `path` (creating it empty when missing and
// `create` is set), hands the current contents to `change`, and when it answers
// true replaces the file with the new contents by rename. Answers 0, or the
// errno of the step that failed (ENOENT when the file is missing and not made).
int update_file_locked(const std::string& path, bool create,
                       const std::function<bool(std::string& contents)>& change);

}  // namespace plat
