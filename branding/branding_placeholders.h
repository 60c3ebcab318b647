// Replacing branding placeholders such as "<<_ProductName_>>" in a text.
#pragma once
#include <string>

namespace ov::branding {

// Replaces each placeholder token with its branded value, token by token in a fixed order
// (company, product, long name, URL, contact number, toll-free number, reports manager,
// trail printing title), each over the whole text. So a token inside a value inserted for an
// earlier token is replaced too, one inside a value for a later token is not. The branding
// library is consulted (and loaded, the first time) only for tokens that occur; a token
// whose value is null stays in the text.
void ReplaceBrandingPlaceholders(std::wstring& text);

}  // namespace ov::branding
