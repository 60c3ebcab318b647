// The dialog's user-visible texts (listed in ui/strings.def).
#pragma once
#include <string>

namespace ov::ui {

// The text stored under a string-table id of ui/resource_ids.h (IDS_...), exactly as the
// .rc STRINGTABLE holds it; empty for an id the table does not have.
std::wstring StringTableText(int id);

}  // namespace ov::ui
