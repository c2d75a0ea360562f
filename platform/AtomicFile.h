#pragma once
// Whole files written so that a failure never leaves a half-written file, and whole
// regular files read with a size bound.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace wv {

// Replaces the file at path with bytes: they are written to a new temporary file in the
// same folder, flushed to disk, and renamed over path only when all of them are safe;
// then the folder is flushed so the new name lasts. A file that was there keeps its
// permission bits. Returns 0, or the errno that stopped it (the folder is missing or
// cannot be written, the disk is full, path names a folder, ...); on failure the old
// file is unchanged and no temporary file is left.
int WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Reads the whole regular file at path into bytes. Returns 0; ENOENT when there is no
// such file; EISDIR for a folder and EINVAL for anything else that is not a regular file
// (a FIFO, a device; never opened in a way that could block); EFBIG when the file holds
// more than maxBytes; or the errno of a failed open or read. bytes is changed only on
// success.
int ReadRegularFile(const std::filesystem::path& path, size_t maxBytes, std::string& bytes);

} // namespace wv
