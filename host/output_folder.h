// Finding the output folder a recovery made.
#pragma once

#include <string>

// The newest folder "Recovered <dump_file_name> DD-MM-YYYY HH.MM" in
// `target`, by the date and time in its name, as a path below `target`.
// Empty when there is none.
std::string FindNewestOutputFolder(const std::string &target, const std::string &dump_file_name);

// The file name part of a path (after the last separator).
std::string FileNameOf(const std::string &path);
