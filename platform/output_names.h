// The names an output passes through before it is under its own: hidden
// temporary names beside it, files without a name (O_TMPFILE) where the
// filesystem has them, and the moves that put the output under its name.
#pragma once

#include <string>

#include "platform/descriptor.h"
#include "platform/env.h"

// Splits `path` into its directory (ending in '/', or empty) and its base.
void SplitPath(const std::string& path, std::string& dir, std::string& base);
// A hidden temporary name beside `base` in `dir` (which ends in '/' or is
// empty): ".BASE.part-XXXXXX", BASE cut short where the whole would not fit
// in a directory entry. A clash with an existing file is for O_EXCL to catch
// and the next name to answer.
std::string TempNameBeside(const std::string& dir, const std::string& base);

// Whether an output in `dir` can be made without a name and linked in
// (through /proc/self/fd, looked at once); not in a directory whose
// filesystem refused one before.
bool UnnamedOutputsPossible(const std::string& dir, Env& env = Env::System());
// Whether `err`, from an O_TMPFILE open in `dir`, says that the filesystem
// (or the kernel) has no files without a name; `dir` then gets temporary
// files with names without asking again.
bool NoUnnamedFiles(int err, const std::string& dir);

// Whether the folder `dir` (as written, or resolved where it exists) is
// /dev or /proc or lies below them: the system's names, whose links an
// output never replaces.
bool InSystemFolder(const std::string& dir, Env& env = Env::System());

// A file without a name (or named and taken out of the folder at once, where
// the filesystem has no such files) in the temporary folder ($TMPDIR, else
// /tmp), readable and writable by its owner alone: for bytes the program
// keeps aside. `dir` is set to the folder. A Create for `env`.
Descriptor OpenTemporary(std::string& dir, Env& env = Env::System());

// kIoOutputExists: a name taken that is not to be replaced.
[[noreturn]] void ThrowTaken(const std::string& path);
// Puts the file at `from` under `to` without replacing anything there:
// renameat2's RENAME_NOREPLACE, or where the filesystem has none a hard link
// and the removal of `from`.
void RenameWithoutReplacing(const std::string& from, const std::string& to,
                            Env& env = Env::System());
