// ReplaceBrandingPlaceholders: the token table and the in-place substitution.
#include "branding/branding_placeholders.h"

#include <cstddef>

#include "branding/ov_brands.h"

namespace ov::branding {
namespace {

struct Placeholder {
  const wchar_t* token;
  const wchar_t* (*value)(OvBrands& brands);
};

// The order matters: see the header.
const Placeholder kPlaceholders[] = {
    {L"<<_CompanyName_>>", [](OvBrands& b) { return b.getCompanyNameForDisplay(); }},
    {L"<<_ProductName_>>", [](OvBrands& b) { return b.GetProductName(); }},
    {L"<<_LongName_>>", [](OvBrands& b) { return b.GetLongName(); }},
    {L"<<_UrlName_>>", [](OvBrands& b) { return b.GetURL(); }},
    {L"<<_ContactNumber_>>", [](OvBrands& b) { return b.getContactNumber(); }},
    {L"<<_ContactNumberTollFree_>>", [](OvBrands& b) { return b.getContactNumberTollFree(); }},
    {L"<<_ReportsManagerName_>>", [](OvBrands& b) { return b.GetReportsManagerName(); }},
    {L"<<_TrailPrinting_>>", [](OvBrands& b) { return b.getTitleFromResource(11, 0); }},
};

void ReplaceAll(std::wstring& text, const std::wstring& token, const std::wstring& value) {
  for (std::size_t at = text.find(token); at != std::wstring::npos; at = text.find(token, at)) {
    text.replace(at, token.size(), value);
    at += value.size();  // the inserted value is not searched again for this token
  }
}

}  // namespace

void ReplaceBrandingPlaceholders(std::wstring& text) {
  for (const Placeholder& placeholder : kPlaceholders) {
    const std::wstring token = placeholder.token;
    if (text.find(token) == std::wstring::npos) continue;
    const wchar_t* value = placeholder.value(*OvBrands::getInstance());
    if (value == nullptr) continue;
    ReplaceAll(text, token, value);
  }
}

}  // namespace ov::branding
