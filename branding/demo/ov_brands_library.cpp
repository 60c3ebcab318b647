// A branding library with the entry points the tool calls: the demo suite's "OvBrands.dll",
// and, compiled with another OV_BRANDS_VARIANT, the odd libraries the tests load.
//
//   1 demo:          every entry point, realistic values
//   2 nulls:         every text entry point returns null
//   3 empty reports: as the demo, but an empty Reports Manager name
//   4 partial:       only the company and long names, each holding placeholders
#include <cstdint>

#ifndef OV_BRANDS_VARIANT
#define OV_BRANDS_VARIANT 1
#endif

#if defined(_WIN32)
#define OV_BRANDS_EXPORT extern "C" __declspec(dllexport)
#else
#define OV_BRANDS_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#if OV_BRANDS_VARIANT == 2
#define OV_TEXT(text) nullptr
#else
#define OV_TEXT(text) text
#endif

#if OV_BRANDS_VARIANT != 4

OV_BRANDS_EXPORT const wchar_t* GetProductName() { return OV_TEXT(L"Veltrane PrintSentry"); }
OV_BRANDS_EXPORT const wchar_t* GetCompanyNameForDisplay() { return OV_TEXT(L"Veltrane Systems"); }
OV_BRANDS_EXPORT const wchar_t* GetContactNumber() { return OV_TEXT(L"+44 20 7946 0321"); }
OV_BRANDS_EXPORT const wchar_t* GetContactNumberTollFree() { return OV_TEXT(L"0800 046 0321"); }
OV_BRANDS_EXPORT const wchar_t* GetLongName() {
  return OV_TEXT(L"Veltrane PrintSentry Print Management Suite");
}
OV_BRANDS_EXPORT const wchar_t* GetURL() { return OV_TEXT(L"https://www.printsentry.example/support"); }

OV_BRANDS_EXPORT const wchar_t* GetReportsManagerName() {
#if OV_BRANDS_VARIANT == 3
  return L"";
#else
  return OV_TEXT(L"PrintSentry Reports");
#endif
}

// Title 11 names the print-trail feature; the 16-bit value selects a variant of a title,
// of which the demo has only the plain one (0).
OV_BRANDS_EXPORT const wchar_t* GetTitleFromResource(std::uint32_t titleNumber, std::uint16_t value) {
  if (titleNumber == 11 && value == 0) return OV_TEXT(L"Print Trail");
  if (titleNumber == 11 && value == 1) return OV_TEXT(L"Print Trail (Audit)");
  return nullptr;
}

#else

// A value may hold placeholders, even its own.
OV_BRANDS_EXPORT const wchar_t* GetCompanyNameForDisplay() {
  return L"<<_CompanyName_>> and <<_ProductName_>> Labs";
}
OV_BRANDS_EXPORT const wchar_t* GetLongName() { return L"<<_CompanyName_>> Enterprise"; }

#endif
