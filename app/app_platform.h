// The process's real platform: the Win32 implementation of every concept, alive until exit.
#pragma once
#include "platform/platform.h"
#include "platform/ui.h"

namespace ov::app {

// Built on first use from objects of static storage duration, because the branding library
// is released by an exit handler after WinMain has returned and still reaches the registry
// and module concepts then. Installs the branding library's platform as well.
ov::platform::Platform& ProcessPlatform();

// The same concepts for the console companion, with its own user interaction; it shows no
// branded text, so the branding library is never loaded.
ov::platform::Platform ConsoleProcessPlatform(ov::platform::UserInteraction& ui);

// Restricts the process's own library search to the application's folder and System32, so
// no library that the process or a system library loads by name later comes from the
// current directory or a folder on PATH, where ordinary users may place files. Call first
// thing at process start.
void RestrictLibrarySearch();

// Where the OS offers it, makes the process refuse junctions and other redirections that a
// non-administrator created; silently nothing elsewhere.
void EnableRedirectionTrust();

}  // namespace ov::app
