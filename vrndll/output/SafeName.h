// Database and table names as file and folder names.
//
// A name read from a dump is untrusted: it may hold path separators, "..",
// a drive colon, characters Windows refuses in file names, control
// characters, or characters the command processor treats specially in
// commit.bat. SafeFileName keeps ordinary names exactly as they are and
// maps everything else so that the result is one plain component inside its
// folder, on Windows and on POSIX alike.
//
// Names are bytes in the Windows Western code page (1252), the code page
// commit.bat is read in: the device names and the letter case below are
// that code page's.
#pragma once

#include <cstddef>
#include <string>

// Longest file or folder name SafeFileName returns; leaves room for the
// "-<n>_<part>.sql" suffixes within the 255-byte component limit.
constexpr size_t kMaxSafeNameLength = 160;

// Each of <>:"/\|?* , control characters, space, the batch-file specials
// & ^ % !, and '~' becomes '_': no name of ours has the '~' of a short
// (8.3) name, so none can be another file's short name. Trailing dots and
// spaces (which Windows drops) become '_', and so does a leading dot (which
// hides a file on POSIX). An empty name becomes "_"; reserved device names
// (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM and LPT followed by one of 0-9
// or the superscripts 1, 2, 3 of the code page; with or without an
// extension, any letter case) get a leading '_'. Longer names are cut to
// kMaxSafeNameLength.
std::string SafeFileName(const std::string &name);

// The name with every letter in lower case as Windows compares file names:
// ASCII and the code page's other letters (0xC0-0xDE and 0x8A, 0x8C, 0x8E,
// 0x9F with their small letters; 0xD7 and 0xF7 are taken as a pair too,
// as they are letters in the neighbouring Windows code pages). Two names
// with the same folded form are one file on Windows.
std::string FoldFileNameCase(const std::string &name);
