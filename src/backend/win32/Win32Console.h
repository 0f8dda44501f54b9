// What a console program of the system needs from Win32: its arguments and its two output
// streams, in the system's UTF-8.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace platform::win32 {

// The arguments after the program's name, split as the C runtime splits them, from the wide
// command line (the ANSI one cannot carry every name a user types).
std::vector<std::string> CommandLineArguments();

enum class TStandardStream { Output, Error };

// The process's standard output or error for UTF-8 text. On a console the text is written
// as UTF-16, so that every character shows whatever the console's code page; redirected to a
// file or a pipe, the bytes go out unchanged. A character is never split between two writes.
// Flushed when destroyed; what cannot be written (a closed pipe) is dropped.
std::unique_ptr<std::ostream> OpenStandardStream(TStandardStream AWhich);

} // namespace platform::win32
