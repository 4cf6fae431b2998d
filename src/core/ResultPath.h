#pragma once
// Paths of result items as the search service delivers them: which are safe to hand to the
// file system, their name and folder parts, and their form relative to a searched folder.
#include <cstddef>
#include <string>
#include <string_view>

// The longest path the file system accepts (with the extended-length prefix).
constexpr std::size_t kMaxResultPathChars = 32767;
// Paths this long and longer need the extended-length prefix.
constexpr std::size_t kClassicMaxPath = 260;

// True for a path the program may look up: absolute ("X:\...", "\\server\share\..." or an
// extended-length "\\?\X:\..." / "\\?\UNC\server\share\..."), at most kMaxResultPathChars
// long, free of control characters (NUL included) and of < > " | ? *, and with a colon only
// after the drive letter.
bool IsAcceptableResultPath(std::u16string_view path);

// The path in the form the file system reads at any length: a path of kClassicMaxPath
// characters or more gets the extended-length prefix ("\\?\" or "\\?\UNC\"); shorter or
// already prefixed paths are returned unchanged.
std::u16string ExtendedLengthPath(std::u16string_view path);

// Text after the last backslash (the whole path when there is none).
std::u16string_view FileNamePart(std::u16string_view path);
// Text before the last backslash; a drive root keeps its backslash ("C:\"); empty when the
// path has no backslash.
std::u16string_view FileDirPart(std::u16string_view path);

// name with the leading folder (which ends with a backslash) removed when name lies under it,
// the case of letters ignored; other names are returned whole.
std::u16string NameRelativeToFolder(std::u16string_view name, std::u16string_view folder);
