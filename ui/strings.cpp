// The dialog's string table.
#include "ui/strings.h"

#include <algorithm>
#include <iterator>

#include "ui/resource_ids.h"

namespace ov::ui {
namespace {

// "occured" is the text users have always seen; it stays as it is.
const StringTableRow kTable[] = {
    {IDS_COLUMN_COMPONENT, L"Component"},
    {IDS_COLUMN_LEVEL, L"Level"},
    {IDS_COLUMN_ENABLED, L"Enabled"},
    {IDS_COLUMN_FILENAME, L"Filename"},
    {IDS_YES, L"Yes"},
    {IDS_NO, L"No"},
    {IDS_SAVE_CHANGES_QUESTION, L"Would you like to save changes to the registry?"},
    {IDS_SAVE_CHANGES_CAPTION, L"Save Changes?"},
    {IDS_CURRENT_DIRECTORY_ERROR, L"An error occured getting current directory."},
    {IDS_DIRECTORY_ERROR_CAPTION, L"Directory Error"},
    {IDS_CREATE_DIRECTORY_QUESTION,
     L"The specified directory does not exist.\nDo you want to create the directory?"},
    {IDS_PATH_ERROR_CAPTION, L"Path error"},
    {IDS_CREATE_DIRECTORY_FAILED, L"Could not create directory"},
    {IDS_RESTART_SPOOLER_QUESTION,
     L"For the tracing changes to the print providers to take effect you will have to restart the "
     L"spooler.\nWould you like to restart the spooler now?"},
    {IDS_RESTART_SPOOLER_CAPTION, L"Restart Spooler?"},
    {IDS_DELETE_QUESTION_START, L"Are you sure you want to delete the "},
    {IDS_DELETE_QUESTION_END, L"trace file?"},
    {IDS_DELETE_CAPTION, L"Confirm trace file delete"},
    {IDS_RESTART_SHARED_ENGINE_CAPTION, L"Restart Shared Engine?"},
    {IDS_RESTART_SHARED_ENGINE_QUESTION,
     L"For the tracing changes to the Shared Engine to take effect you will have to restart the "
     L"Shared Engine.\nWould you like to restart the Shared Engine now?"},
};

}  // namespace

std::wstring StringTableText(int id) {
  const auto* row = std::find_if(std::begin(kTable), std::end(kTable),
                                 [id](const StringTableRow& r) { return r.id == id; });
  return row == std::end(kTable) ? std::wstring() : std::wstring(row->text);
}

const StringTableRow* StringTableBegin() { return std::begin(kTable); }
const StringTableRow* StringTableEnd() { return std::end(kTable); }

}  // namespace ov::ui
