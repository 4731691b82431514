// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whole-file reads that never hang on a FIFO or read a device, and atomic
// replacement that never writes through anything planted at the file's name.
// The board's state file and the register profiles both live by these.

#include <cstddef>
#include <optional>
#include <string>

namespace quarnel {

struct FileRead {
    enum Kind { kRead, kMissing, kNotRegular, kFailed } kind = kMissing;
    std::string text;   // kRead: up to limit + 1 bytes, so longer than limit means too large
    std::string error;  // kNotRegular, kFailed: why, for the user
};
// Reads a regular file (through symbolic links) of at most `limit` bytes.
FileRead ReadRegularFile(const std::string& path, size_t limit);

// Every file the programs read is opened here: without waiting (a FIFO's writer
// never comes), and kept only when it is a regular file. Returns the descriptor,
// or -1 with `problem` telling why (kind kMissing, kNotRegular or kFailed).
int OpenRegularFile(const std::string& path, FileRead& problem);
// The same, for a file another reader (QSettings) opens: nullopt when it is a
// regular file or missing, else why it must not be opened.
std::optional<std::string> RegularFileProblem(const std::string& path);

// Writes text to a new temporary file beside path ("<path>.tmp-" and six random
// characters), syncs it and renames it over path, so readers see the old file or
// the new one, never half of one. Replaces only a regular file or a symbolic link
// (the link itself, never its target).
// The new file is private to the user unless `shared` (then as the umask allows).
// Returns the error, if any.
std::optional<std::string> ReplaceFileAtomically(const std::string& path, const std::string& text,
                                                 bool shared = false);

// Removes the temporary files of replacements cut short (a killed program): those
// of path's pattern that no running replacement holds (it holds a flock on its own).
void RemoveStaleTempFiles(const std::string& path);

// Whether two paths name the same entry of the same folder, which a rename to one
// replaces under the other name too.
bool SameFileName(const std::string& a, const std::string& b);

}  // namespace quarnel
