// The dialog's texts by string-table id, from the list the .rc STRINGTABLE is built from too.
#include "ui/strings.h"

#include "ui/resource_ids.h"

namespace ov::ui {

std::wstring StringTableText(int id) {
  switch (id) {
#define OV_STRING(name, text) \
  case name:                  \
    return L"" text;
#include "ui/strings.def"
#undef OV_STRING
  }
  return {};
}

}  // namespace ov::ui
