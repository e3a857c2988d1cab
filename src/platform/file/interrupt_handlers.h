// What interrupt.h needs of the system: installing and restoring the
// handlers of interruptions, the form in which a pending file's path is kept
// for a handler, and stderr as a handler may write it. One file per system:
// interrupt_handlers.cpp (POSIX signals) and interrupt_handlers_windows.cpp
// (the console control handler).
#pragma once

#include <cstddef>
#include <string>

namespace dorvane::file::detail {

// Installs the handlers (keeping those before) / restores those before.
void installInterruptHandlers();
void restoreInterruptHandlers();

// A copy of utf8Path as the system's calls take it, from malloc (free
// releases it); nullptr when out of memory.
void* nativePathCopy(const std::string& utf8Path);
// Removes the file at a path of nativePathCopy. Safe in a handler.
void removeNativePath(const void* path) noexcept;
// Writes n bytes of UTF-8 to the process's stderr. Safe in a handler.
void writeStderr(const char* text, std::size_t n) noexcept;

// Called by the handler on an interruption named name ("SIGINT", "Ctrl+C")
// that asks for exit status status. Returns true when the handler is to end
// the process with status (under an InterruptGuard, after printing its
// message), false when the command goes on (under an InterruptWatch).
bool interrupted(const char* name, int status) noexcept;

}  // namespace dorvane::file::detail
