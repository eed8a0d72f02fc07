#pragma once
// What the commands share, and the commands themselves, one file each.

#include "cli/Commands.h"
#include "platform/os/FileError.h"
#include "platform/os/Module.h"

#include <string>

namespace quillmar::cli {

// One line for a file that failed, and the exit status that goes with it.
int ReportFileError(const FileError& error);

// Zero when the module is bound (failure is nullptr), else the failure's exit
// status once told, with every candidate that was skipped and why.
int CheckModule(const CModule& module, const char* failure);

// Zero with the password in place, else the exit status once told.
int GetPassword(const PasswordSource& source, bool confirm, const Environment& env,
                std::string& password);

// All of data to standard output, flushed; false with the cause in error.
bool WriteStandardOutput(const char* data, std::size_t size, FileError& error);

// Zero, or the exit status once told that standard input (when the command
// reads it) or standard output was closed at start.
int RefuseClosed(bool reads);

int RunFileCommand(const CommandLine& line, const Environment& env);
int RunTextCommand(const CommandLine& line, const Environment& env);
int RunRandomKey();
int RunSaveKey(const CommandLine& line, const Environment& env);

} // namespace quillmar::cli
