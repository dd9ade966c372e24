#pragma once

#include <cstddef>
#include <string>

// Replaces the file at path with the given bytes so that it is always either the old file or
// the new one whole: the bytes go to a temporary file in the same folder, are flushed to the
// medium and the temporary file is renamed over the old one. A file another program holds
// open for writing is refused. False on any failure; the temporary file is then removed.
bool ReplaceFileContents(const std::string &path, const void *bytes, size_t size);
