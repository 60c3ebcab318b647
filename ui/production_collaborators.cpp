// The shipped wiring of the dialog to branding, service control and log collection.
#include "ui/ov_client_tracing_dlg.h"

namespace ov::ui {

// Until those subsystems are linked in, the caption keeps its placeholders, a restart fails
// with a message (the dialog shows it under the service's name) and the zip command does
// nothing; each member below is replaced by a call of the real function.
DialogCollaborators ProductionCollaborators(ov::platform::Platform& platform) {
  (void)platform;
  DialogCollaborators collaborators;
  collaborators.replaceBrandingPlaceholders = nullptr;
  collaborators.restartService = nullptr;
  collaborators.zipUpLogFiles = nullptr;
  return collaborators;
}

}  // namespace ov::ui
