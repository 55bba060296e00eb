// Options state shared by the pieces of the common library (not for its users).
#pragma once

#include <string>

// Non-zero: registry reads and writes go to the options file.
bool QelWinIniMode();
// The options file's path ("<driver directory>\<file name>"), empty when unset.
std::string QelWinOptionsPath();
// The driver directory: the environment variable's value, empty when unset.
std::string QelWinDriverDir();
