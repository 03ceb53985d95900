// Text output of the companion program. It is a GUI program, so that no
// console flashes up when the extension or a logon starts it; its output goes
// to the standard output it inherited (a pipe, a file, a console), or else to
// the console of the program that started it, if that has one.
#pragma once

#include <string_view>

// UTF-16 to a console, UTF-8 to a file or pipe. Output that has nowhere to
// go is dropped.
void WriteVerbOutput(std::u16string_view strText) noexcept;
