// The dialog's string table, the one source of its user-visible texts.
#pragma once
#include <string>

namespace ov::ui {

// The text stored under a string-table id of ui/resource_ids.h (IDS_...), exactly as the
// .rc STRINGTABLE holds it; empty for an id the table does not have.
std::wstring StringTableText(int id);

// Every (id, text) pair in id order, for tooling that writes or checks the .rc mirror.
struct StringTableRow {
  int id;
  const wchar_t* text;
};
const StringTableRow* StringTableBegin();
const StringTableRow* StringTableEnd();

}  // namespace ov::ui
