// Database and table names as file and folder names.
//
// A name read from a dump is untrusted: it may hold path separators, "..",
// a drive colon, characters Windows refuses in file names, control
// characters, or characters the command processor treats specially in
// commit.bat. SafeFileName keeps ordinary names exactly as they are and
// maps everything else so that the result is one plain component inside its
// folder, on Windows and on POSIX alike.
#pragma once

#include <cstddef>
#include <string>

// Longest file or folder name SafeFileName returns; leaves room for the
// "~<n>_<part>.sql" suffixes within the 255-byte component limit.
constexpr size_t kMaxSafeNameLength = 160;

// Each of <>:"/\|?* , control characters, space, and the batch-file
// specials & ^ % ! becomes '_'. Trailing dots and spaces (which Windows
// drops) become '_', and so does a leading dot (which hides a file on
// POSIX). An empty name becomes "_"; reserved device names
// (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension, any
// letter case) get a leading '_'. Longer names are cut to kMaxSafeNameLength.
std::string SafeFileName(const std::string &name);

// ASCII lower case, for comparing file names the way Windows does.
std::string FoldFileNameCase(const std::string &name);
