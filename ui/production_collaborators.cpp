// The shipped wiring of the dialog to branding and log collection.
#include "ui/ov_client_tracing_dlg.h"

namespace ov::ui {

// Until branding and log collection are linked in, the caption keeps its placeholders and
// the zip command does nothing; each member below becomes a call of the real function.
DialogCollaborators ProductionCollaborators(ov::platform::Platform& platform) {
  (void)platform;
  DialogCollaborators collaborators;
  collaborators.replaceBrandingPlaceholders = nullptr;
  collaborators.zipUpLogFiles = nullptr;
  return collaborators;
}

}  // namespace ov::ui
