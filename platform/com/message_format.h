// The system's message formatting from a string (FormatMessage with a string source and an argument array):
// %1 to %99 insert the arguments (an optional !s! after the number is accepted), %% gives %, %n a line break,
// %t a tab, %r a carriage return, %0 ends the message, %. %! and %<blank> give the character itself.
#pragma once

#include <span>
#include <string>
#include <string_view>

// False, leaving `out` unchanged, when an insert names an argument that was not given or has a malformed
// format; the system's function fails the same way.
bool FormatMessageFromString(std::u16string_view format, std::span<const std::u16string> arguments,
                             std::u16string* out);
