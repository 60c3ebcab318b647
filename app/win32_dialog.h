// The real window of the main dialog: a DialogView over the template's controls, and the
// dialog procedure that dispatches window messages to COvClientTracingDlg's handlers.
#pragma once
#include <functional>

#include "platform/platform.h"
#include "ui/dialog_view.h"
#include "ui/ov_client_tracing_dlg.h"

namespace ov::app {

class Win32DialogView;

// Runs the main dialog modally from dialog template 102 of the module that holds the
// resources (the executable itself when null). Returns DialogBoxParamW's result.
// onShown, when given, is called from the dialog's thread once the dialog is initialised,
// with its window handle; tests use it to start driving the dialog.
std::intptr_t RunMainDialog(ov::platform::Platform& platform,
                            void* resourceModule = nullptr,
                            std::function<void(void* hwnd)> onShown = nullptr);

}  // namespace ov::app
