// One recovery call from entry to return: the steps behind FileRecover.
#pragma once

#include <string>

#include "platform/platform.h"
#include "vrndll/pages/DumpSniff.h"
#include "vrndll/call/RecoveryOptions.h"
#include "vrndll/call/Status.h"

// Longest output folder and source folder the driver accepts.
constexpr size_t kMaxOutputFolderLength = 254;
constexpr size_t kMaxSourceFolderLength = 255;

// Internal result of RecoverDumpFile when the cancel flag was already set
// after the output folder had been made.
constexpr int kCancelledBeforeStart = 1;

// A dump path split into its folder (ending with a separator) and its file
// name (extension included).
struct SourcePath {
    std::string folder;
    std::string file_name;
};

// Splits at the last separator. A path without one names a file in the
// current folder (`current_folder`); on Windows a drive prefix "X:" without
// a separator is the folder.
SourcePath SplitSourcePath(const std::string &source_path, const std::string &current_folder);

// target + separator + "Recovered " + file name + " DD-MM-YYYY HH.MM".
// Separators at the end of `target` are dropped first.
std::string ComposeOutputFolder(const std::string &target, const std::string &file_name,
                                const platform::DateTime &when);

// Suffixes " (2)" ... tried when the output folder's name is taken.
constexpr int kMaxOutputFolderSuffix = 100;

// Creates the target folder (it may exist) and a new output folder in it:
// ComposeOutputFolder's name, or when anything of that name exists the
// name with " (2)", " (3)" ... (logged). Never reuses an existing folder.
// Returns the folder's path, or "" when no new folder within
// kMaxOutputFolderLength could be made.
std::string MakeOutputFolder(const std::string &source_path, const std::string &target);

// Removes the output folder of a recovery that failed when nothing was
// written into it.
void RemoveEmptyOutputFolder(const std::string &folder);

// Logs the request and the dump's size.
void LogRequiredInformation(const char *source_path, const char *target_directory);

// What the extended entry point adds to a recovery call: its options in,
// its account and the reasons of a failure out.
struct RecoveryRun {
    RecoveryOptions options;
    std::string exact_output_folder; // made with its parents; empty: the dated folder
    RecoveryReport report;
    std::string output_folder; // the folder written, empty when none
};

// Opens the dump, makes the output folder, runs the recovery driver.
// Code 0, kCancelledBeforeStart, -5, -3, -2 or -1000, with the cause and
// reason of a failure where they are known. `run` (may be null: the
// behaviour of FileRecover) carries the extended entry point's options and
// receives its account.
Status RecoverDumpFile(const char *source_path, const char *target_directory, RecoveryRun *run = nullptr);

// "<what> '<path>': <the system's text for the last error>".
std::string SystemReason(const std::string &what, const std::string &path);

// The driver's result as RecoverDumpFile passes it on.
int MapDriverResult(int driver_result);
// RecoverDumpFile's result as FileRecover returns it.
int MapRecoverResult(int recover_result);
