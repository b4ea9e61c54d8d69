// The one file the editor writes, saved so that no kill, crash or failing
// disk leaves it half written. Every platform implements this in its own
// source file.
#pragma once

#include <string>

// Replaces the whole content of the named file (through a symbolic link, its
// target). The new content is written beside the file and put in its place
// in one step, keeping the file's mode and owner; a file with several links,
// or one that cannot be replaced so, is rewritten in place instead, and put
// back as it was if that fails. Returns true once the new content is safely
// on the disk; on false the old content is still whole. A file that may not
// be written, or that is not a regular file, is refused and left alone.
bool replaceFileContent(const std::string& name, const std::string& content);
