// OvBrands: the process-wide loader of the suite's branding library and its getters.
#pragma once
#include <cstdint>

#include "platform/platform.h"

namespace ov::branding {

// The library's file name, in the folder of "Support File Location" (an absolute local
// folder; any other value counts as none) or, without one, in the application's folder or
// System32.
inline constexpr wchar_t kBrandingLibraryName[] = L"OvBrands.dll";

// Entry points of the branding library. Texts belong to the library and stay valid while it
// is loaded; null means "no value". Plain C calling convention, undecorated export names.
extern "C" {
using OvBrandsTextFunction = const wchar_t* (*)();
using OvBrandsTitleFunction = const wchar_t* (*)(std::uint32_t titleNumber, std::uint16_t value);
}

inline constexpr wchar_t kDefaultProductName[] = L"Unknown Product";
inline constexpr wchar_t kDefaultCompanyName[] = L"Unknown Company";
inline constexpr wchar_t kDefaultContactNumber[] = L"Unknown Contact Number";
inline constexpr wchar_t kDefaultContactNumberTollFree[] = L"Unknown Toll free contact number";
inline constexpr wchar_t kDefaultLongName[] = L"Unknown long name";
inline constexpr wchar_t kDefaultUrl[] = L"https://support.veltrane.example/";
inline constexpr wchar_t kDefaultReportsManagerName[] = L"Reports Manager";

// A singleton whose state is process-wide: the library is located and loaded on the first
// getInstance, once per process whether or not that succeeds, and released at process exit.
// Every getter answers; without the library (or the export) they give fixed English
// defaults. Used from the user-interface thread only: the one-time load takes no lock.
class OvBrands {
 public:
  // The concepts the library is found and loaded through: registry, modules and clock. The
  // application installs its real ones at start-up, before the first getInstance; they must
  // live until the process ends (the library is released by an exit handler that runs
  // before any earlier-constructed static object is destroyed). Without an installation
  // the library is not found and every getter gives its default.
  static void InstallPlatform(const platform::Platform& platform);

  static OvBrands* getInstance();

  const wchar_t* GetProductName();
  const wchar_t* getCompanyNameForDisplay();
  const wchar_t* getContactNumber();
  const wchar_t* getContactNumberTollFree();
  const wchar_t* GetLongName();
  const wchar_t* GetURL();
  // Never null.
  const wchar_t* GetReportsManagerName();
  // Null when the library lacks the export or has no such title.
  const wchar_t* getTitleFromResource(std::uint32_t titleNumber, std::uint16_t value);

  // For tests only: releases the library and forgets the instance, so the next getInstance
  // locates and loads again. The product never calls it. Texts returned earlier are invalid
  // afterwards.
  static void ResetForTesting();

 private:
  OvBrands() = default;
};

}  // namespace ov::branding
