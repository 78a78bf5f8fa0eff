// Fast copying between open files, in large steps, with a report after each step; and
// writing a buffer out whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Copies from the current offset of `source` to its end into `target` at target's current
// offset. After each step `step` hears the bytes copied so far and answers whether to go
// on. Returns 0, the errno of the failure, or ECANCELED when `step` stopped it.
// Uses copy_file_range in steps of 8 MB (the kernel copies without a trip through user
// space, so the target fills progressively and can be read while it grows), falling back
// to read/write with a 1 MB buffer where the file systems do not support it.
int CopyFileData(int source, int target, const std::function<bool(std::uint64_t)>& step);

// Writes all `size` bytes to `fd` at its current offset, going on after interruptions.
// Returns 0, the errno of the failure, or EIO when nothing more could be written.
int WriteFully(int fd, const char* data, std::size_t size);

// Makes `bytes` the whole content of the file at `path` (a POSIX path), created when missing;
// false when it could not be opened, written or closed.
bool WriteWholeFile(const std::string& path, std::string_view bytes);

}  // namespace platform
