// OvBrands: locating and loading the branding library, and the getters with their defaults.
#include "branding/ov_brands.h"

#include <cstdlib>
#include <string>

#include "branding/ov_registry.h"
#include "platform/modules.h"
#include "trace/ov_trace.h"

namespace ov::branding {
namespace {

using trace::EndLine;
using trace::OvTrace;

struct EntryPoints {
  OvBrandsTextFunction productName = nullptr;
  OvBrandsTextFunction companyNameForDisplay = nullptr;
  OvBrandsTextFunction contactNumber = nullptr;
  OvBrandsTextFunction contactNumberTollFree = nullptr;
  OvBrandsTextFunction longName = nullptr;
  OvBrandsTextFunction url = nullptr;
  OvBrandsTextFunction reportsManagerName = nullptr;
  OvBrandsTitleFunction titleFromResource = nullptr;
};

// The process-wide branding state. Plain data with constant initialisation, so it exists
// before any static constructor could ask for a branded text.
struct BrandingState {
  platform::Platform platform;
  platform::ModuleHandle module = platform::kNoModule;
  platform::Modules* loadedBy = nullptr;
  EntryPoints entries;
  OvBrands* instance = nullptr;
  bool exitHandlerRegistered = false;
};
BrandingState g_state;

template <typename Function>
Function Find(platform::Modules& modules, platform::ModuleHandle module, const char* name) {
  // Exports are found as entry points of no arguments and take their real type here.
  return reinterpret_cast<Function>(modules.FindSymbol(module, name));
}

// Only a folder named from a drive's root is a place that is the same for everyone; any
// other value would be resolved against the current directory or left to the search.
bool IsAbsoluteLocalFolder(const std::wstring& folder) {
  return folder.size() >= 3 && ((folder[0] | 0x20) >= L'a' && (folder[0] | 0x20) <= L'z') && folder[1] == L':' &&
         folder[2] == L'\\';
}

void LoadLibraryOnce(OvTrace& trace) {
  // The tool runs elevated: the library and its own imports come only from the recorded
  // folder or, without one, the application's folder, and otherwise from System32, never
  // from the current directory or PATH, where ordinary users may place files.
  std::wstring path = kBrandingLibraryName;
  std::uint32_t flags = platform::kLoadSearchApplicationDir | platform::kLoadSearchSystem32;
  if (g_state.platform.registry != nullptr) {
    const std::wstring folder = GetSupportFileLocation(*g_state.platform.registry, g_state.platform.clock);
    if (IsAbsoluteLocalFolder(folder)) {
      path = folder + kBrandingLibraryName;
      flags = platform::kLoadSearchDllLoadDir | platform::kLoadSearchSystem32;
    } else if (!folder.empty()) {
      trace << L"Support File Location is not an absolute local folder: " << folder << EndLine;
    }
  }

  platform::Modules* modules = g_state.platform.modules;
  platform::ModuleHandle module = platform::kNoModule;
  if (modules == nullptr || modules->LoadModule(path, flags, &module) != platform::kSuccess) {
    trace << L"LoadLibrary failed for DLL: " << kBrandingLibraryName << EndLine;
    return;
  }
  trace << L"LoadLibrary " << kBrandingLibraryName << EndLine;

  g_state.module = module;
  g_state.loadedBy = modules;
  EntryPoints& e = g_state.entries;
  e.productName = Find<OvBrandsTextFunction>(*modules, module, "GetProductName");
  e.companyNameForDisplay = Find<OvBrandsTextFunction>(*modules, module, "GetCompanyNameForDisplay");
  e.contactNumber = Find<OvBrandsTextFunction>(*modules, module, "GetContactNumber");
  e.contactNumberTollFree = Find<OvBrandsTextFunction>(*modules, module, "GetContactNumberTollFree");
  e.longName = Find<OvBrandsTextFunction>(*modules, module, "GetLongName");
  e.url = Find<OvBrandsTextFunction>(*modules, module, "GetURL");
  e.reportsManagerName = Find<OvBrandsTextFunction>(*modules, module, "GetReportsManagerName");
  e.titleFromResource = Find<OvBrandsTitleFunction>(*modules, module, "GetTitleFromResource");
}

void ReleaseLibrary() {
  if (g_state.module != platform::kNoModule && g_state.loadedBy != nullptr) {
    g_state.loadedBy->ReleaseModule(g_state.module);
  }
  g_state.module = platform::kNoModule;
  g_state.loadedBy = nullptr;
  g_state.entries = EntryPoints{};
  delete g_state.instance;
  g_state.instance = nullptr;
}

extern "C" void ReleaseBrandingAtExit() { ReleaseLibrary(); }

// The pattern the five name getters share.
struct NameGetter {
  const wchar_t* scopeLine;
  const wchar_t* defaultText;
  const wchar_t* nullLine;
  const wchar_t* valuePrefix;
};

const wchar_t* GetName(OvBrandsTextFunction entry, const NameGetter& getter) {
  OvTrace trace(true);
  trace << getter.scopeLine << EndLine;
  const wchar_t* value = getter.defaultText;
  if (entry != nullptr) {
    value = entry();
    if (value == nullptr) {
      trace << getter.nullLine << EndLine;
      return nullptr;
    }
  }
  trace << getter.valuePrefix << value << EndLine;
  return value;
}

}  // namespace

void OvBrands::InstallPlatform(const platform::Platform& platform) { g_state.platform = platform; }

OvBrands* OvBrands::getInstance() {
  OvTrace trace(true);
  trace << L"OvBrands::getInstance " << EndLine;
  if (g_state.instance != nullptr) return g_state.instance;

  LoadLibraryOnce(trace);
  if (!g_state.exitHandlerRegistered) {
    // Registered after the installed concepts were constructed, so it runs before they are
    // destroyed.
    g_state.exitHandlerRegistered = std::atexit(ReleaseBrandingAtExit) == 0;
  }
  g_state.instance = new OvBrands();
  return g_state.instance;
}

void OvBrands::ResetForTesting() { ReleaseLibrary(); }

const wchar_t* OvBrands::GetProductName() {
  return GetName(g_state.entries.productName, {L"OvBrands::GetProductName", kDefaultProductName,
                                               L"Product name is NULL", L"Product name: "});
}

const wchar_t* OvBrands::getCompanyNameForDisplay() {
  return GetName(g_state.entries.companyNameForDisplay,
                 {L"OvBrands::getCompanyNameForDisplay", kDefaultCompanyName, L"Company name is NULL",
                  L"Company name: "});
}

const wchar_t* OvBrands::getContactNumber() {
  return GetName(g_state.entries.contactNumber, {L"OvBrands::getContactNumber", kDefaultContactNumber,
                                                 L"Contact Number is NULL", L"Contact Number: "});
}

const wchar_t* OvBrands::getContactNumberTollFree() {
  return GetName(g_state.entries.contactNumberTollFree,
                 {L"OvBrands::getContactNumberTollFree", kDefaultContactNumberTollFree,
                  L"Toll free contact number is NULL", L"Toll free contact number: "});
}

const wchar_t* OvBrands::GetLongName() {
  return GetName(g_state.entries.longName,
                 {L"OvBrands::GetLongName", kDefaultLongName, L"Long name is NULL", L"Long name: "});
}

const wchar_t* OvBrands::GetURL() {
  OvTrace trace(true);
  trace << L"OvBrands::GetURL" << EndLine;
  const wchar_t* value = kDefaultUrl;
  if (g_state.entries.url != nullptr) {
    value = g_state.entries.url();
    if (value == nullptr) return nullptr;
  }
  trace << L"URL is: " << value << EndLine;
  return value;
}

const wchar_t* OvBrands::GetReportsManagerName() {
  OvTrace trace(true);
  trace << L"OvBrands::GetReportsManagerName" << EndLine;
  const wchar_t* value = nullptr;
  if (g_state.entries.reportsManagerName != nullptr) value = g_state.entries.reportsManagerName();
  if (value == nullptr || value[0] == L'\0') value = kDefaultReportsManagerName;
  trace << L"Reports Manager Name is: " << value << EndLine;
  return value;
}

const wchar_t* OvBrands::getTitleFromResource(std::uint32_t titleNumber, std::uint16_t value) {
  OvTrace trace(true);
  trace << L"OvBrands::getTitleFromResource" << EndLine;
  if (g_state.entries.titleFromResource == nullptr) return nullptr;
  const wchar_t* title = g_state.entries.titleFromResource(titleNumber, value);
  trace << L"The title is: " << (title != nullptr ? title : L"NULL") << EndLine;
  return title;
}

}  // namespace ov::branding
