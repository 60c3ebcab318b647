// Branding against real branding libraries: the sim natively, the real registry and loader
// under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "branding/branding_placeholders.h"
#include "branding/ov_brands.h"
#include "branding/ov_registry.h"
#include "tests/branding/branding_machine.h"
#include "tests/trace/recording_writer.h"
#include "trace/ov_text_convert.h"

namespace {

using ov::branding::GetSupportFileLocation;
using ov::branding::OvBrands;
using ov::branding::ReplaceBrandingPlaceholders;
using ov::trace::testing::InstalledRecorder;
using Strings = std::vector<std::string>;

std::wstring Text(const wchar_t* value) { return value == nullptr ? L"(null)" : value; }

class BrandingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine = branding_test::MakeMachine();
    machine->RemoveSupportFileLocation();
    OvBrands::InstallPlatform(machine->Platform());
  }
  void TearDown() override {
    OvBrands::ResetForTesting();
    OvBrands::InstallPlatform({});
    machine->RemoveSupportFileLocation();
  }
  void UseLibrary(const std::string& variant) {
    machine->SetSupportFileLocation(machine->FixtureFolder(variant));
  }
  std::size_t Count(const std::string& line) {
    const Strings messages = recorder.Messages();
    return static_cast<std::size_t>(std::count(messages.begin(), messages.end(), line));
  }
  bool Wrote(const std::string& line) { return Count(line) != 0; }

  InstalledRecorder recorder;
  std::unique_ptr<branding_test::Machine> machine;
};

// Each getter's value (null shown as "(null)") for a library variant; "" for no library.
struct GetterCase {
  std::string variant;
  std::vector<std::wstring> values;  // product, company, contact, toll free, long, URL,
                                     // reports manager, title 11/0, title 12/0
};

std::vector<std::wstring> AllGetters() {
  OvBrands& b = *OvBrands::getInstance();
  return {Text(b.GetProductName()),          Text(b.getCompanyNameForDisplay()),
          Text(b.getContactNumber()),        Text(b.getContactNumberTollFree()),
          Text(b.GetLongName()),             Text(b.GetURL()),
          Text(b.GetReportsManagerName()),   Text(b.getTitleFromResource(11, 0)),
          Text(b.getTitleFromResource(12, 0))};
}

TEST_F(BrandingTest, GettersAnswerPerLibrary) {
  const GetterCase cases[] = {
      {"",
       {L"Unknown Product", L"Unknown Company", L"Unknown Contact Number",
        L"Unknown Toll free contact number", L"Unknown long name", ov::branding::kDefaultUrl,
        L"Reports Manager", L"(null)", L"(null)"}},
      {"full",
       {L"Veltrane PrintSentry", L"Veltrane Systems", L"+44 20 7946 0321", L"0800 046 0321",
        L"Veltrane PrintSentry Print Management Suite", L"https://www.printsentry.example/support",
        L"PrintSentry Reports", L"Print Trail", L"(null)"}},
      {"nulls",
       {L"(null)", L"(null)", L"(null)", L"(null)", L"(null)", L"(null)", L"Reports Manager",
        L"(null)", L"(null)"}},
      {"emptyreports",
       {L"Veltrane PrintSentry", L"Veltrane Systems", L"+44 20 7946 0321", L"0800 046 0321",
        L"Veltrane PrintSentry Print Management Suite", L"https://www.printsentry.example/support",
        L"Reports Manager", L"Print Trail", L"(null)"}},
      {"partial",
       {L"Unknown Product", L"<<_CompanyName_>> and <<_ProductName_>> Labs", L"Unknown Contact Number",
        L"Unknown Toll free contact number", L"<<_CompanyName_>> Enterprise", ov::branding::kDefaultUrl,
        L"Reports Manager", L"(null)", L"(null)"}},
  };
  for (const GetterCase& c : cases) {
    SCOPED_TRACE("library " + (c.variant.empty() ? std::string("none") : c.variant));
    if (c.variant.empty()) {
      machine->RemoveSupportFileLocation();
    } else {
      UseLibrary(c.variant);
    }
    EXPECT_EQ(AllGetters(), c.values);
    OvBrands::ResetForTesting();
  }
}

TEST_F(BrandingTest, TraceLinesOfTheDemoLibrary) {
  UseLibrary("full");
  AllGetters();
  EXPECT_EQ(recorder.Messages(),
            (Strings{"OvBrands::getInstance ", "LoadLibrary OvBrands.dll",
                     "OvBrands::GetProductName", "Product name: Veltrane PrintSentry",
                     "OvBrands::getCompanyNameForDisplay", "Company name: Veltrane Systems",
                     "OvBrands::getContactNumber", "Contact Number: +44 20 7946 0321",
                     "OvBrands::getContactNumberTollFree", "Toll free contact number: 0800 046 0321",
                     "OvBrands::GetLongName", "Long name: Veltrane PrintSentry Print Management Suite",
                     "OvBrands::GetURL", "URL is: https://www.printsentry.example/support",
                     "OvBrands::GetReportsManagerName", "Reports Manager Name is: PrintSentry Reports",
                     "OvBrands::getTitleFromResource", "The title is: Print Trail",
                     "OvBrands::getTitleFromResource", "The title is: NULL"}));
}

TEST_F(BrandingTest, TraceLinesOfNullValues) {
  UseLibrary("nulls");
  AllGetters();
  EXPECT_EQ(recorder.Messages(),
            (Strings{"OvBrands::getInstance ", "LoadLibrary OvBrands.dll",
                     "OvBrands::GetProductName", "Product name is NULL",
                     "OvBrands::getCompanyNameForDisplay", "Company name is NULL",
                     "OvBrands::getContactNumber", "Contact Number is NULL",
                     "OvBrands::getContactNumberTollFree", "Toll free contact number is NULL",
                     "OvBrands::GetLongName", "Long name is NULL",
                     "OvBrands::GetURL",  // null URL: no further line
                     "OvBrands::GetReportsManagerName", "Reports Manager Name is: Reports Manager",
                     "OvBrands::getTitleFromResource", "The title is: NULL",
                     "OvBrands::getTitleFromResource", "The title is: NULL"}));
}

TEST_F(BrandingTest, TraceLinesWithoutTheLibrary) {
  AllGetters();
  const std::string url = "URL is: " + ov::trace::WideToUtf8(ov::branding::kDefaultUrl);
  EXPECT_EQ(recorder.Messages(),
            (Strings{"OvBrands::getInstance ", "LoadLibrary failed for DLL: OvBrands.dll",
                     "OvBrands::GetProductName", "Product name: Unknown Product",
                     "OvBrands::getCompanyNameForDisplay", "Company name: Unknown Company",
                     "OvBrands::getContactNumber", "Contact Number: Unknown Contact Number",
                     "OvBrands::getContactNumberTollFree",
                     "Toll free contact number: Unknown Toll free contact number",
                     "OvBrands::GetLongName", "Long name: Unknown long name",
                     "OvBrands::GetURL", url,
                     "OvBrands::GetReportsManagerName", "Reports Manager Name is: Reports Manager",
                     "OvBrands::getTitleFromResource",  // no export: no further line
                     "OvBrands::getTitleFromResource"}));
}

struct ReplaceCase {
  std::string variant;
  std::wstring text;
  std::wstring expected;
};

TEST_F(BrandingTest, ReplacesPlaceholders) {
  const ReplaceCase cases[] = {
      {"", L"<<_ProductName_>> Client Tracing <<_TrailPrinting_>>",
       L"Unknown Product Client Tracing <<_TrailPrinting_>>"},
      {"full", L"<<_ProductName_>> Client tracing options", L"Veltrane PrintSentry Client tracing options"},
      {"full",
       L"<<_CompanyName_>>|<<_ProductName_>>|<<_LongName_>>|<<_UrlName_>>|<<_ContactNumber_>>|"
       L"<<_ContactNumberTollFree_>>|<<_ReportsManagerName_>>|<<_TrailPrinting_>>",
       L"Veltrane Systems|Veltrane PrintSentry|Veltrane PrintSentry Print Management Suite|"
       L"https://www.printsentry.example/support|+44 20 7946 0321|0800 046 0321|PrintSentry Reports|"
       L"Print Trail"},
      // Matched exactly, case included; a broken token is left alone.
      {"full", L"<<_productname_>> <<_ProductName_> <<_ProductName_>>",
       L"<<_productname_>> <<_ProductName_> Veltrane PrintSentry"},
      {"nulls", L"<<_ProductName_>> Client Tracing", L"<<_ProductName_>> Client Tracing"},
      {"emptyreports", L"By <<_ReportsManagerName_>>", L"By Reports Manager"},
      // A token inside a value for an earlier token is replaced; inside a value for a later
      // token, or for the same token, it is not.
      {"partial", L"<<_CompanyName_>> / <<_LongName_>>",
       L"<<_CompanyName_>> and Unknown Product Labs / <<_CompanyName_>> Enterprise"},
      {"partial", L"<<_TrailPrinting_>>", L"<<_TrailPrinting_>>"},
  };
  for (const ReplaceCase& c : cases) {
    SCOPED_TRACE("library " + (c.variant.empty() ? std::string("none") : c.variant));
    if (c.variant.empty()) {
      machine->RemoveSupportFileLocation();
    } else {
      UseLibrary(c.variant);
    }
    std::wstring text = c.text;
    ReplaceBrandingPlaceholders(text);
    EXPECT_EQ(text, c.expected);
    OvBrands::ResetForTesting();
  }
}

TEST_F(BrandingTest, RepeatedTokenIsReplacedEverywhereWithOneCall) {
  UseLibrary("full");
  std::wstring text = L"<<_ProductName_>> and <<_ProductName_>><<_ProductName_>>.";
  ReplaceBrandingPlaceholders(text);
  EXPECT_EQ(text, L"Veltrane PrintSentry and Veltrane PrintSentryVeltrane PrintSentry.");
  EXPECT_EQ(Count("OvBrands::GetProductName"), 1u);
  EXPECT_FALSE(Wrote("Product name is NULL"));
}

TEST_F(BrandingTest, NullValueIsTraced) {
  UseLibrary("nulls");
  std::wstring text = L"<<_ProductName_>>";
  ReplaceBrandingPlaceholders(text);
  EXPECT_EQ(text, L"<<_ProductName_>>");
  EXPECT_TRUE(Wrote("Product name is NULL"));
}

TEST_F(BrandingTest, TextWithoutTokensNeverLoadsTheLibrary) {
  UseLibrary("full");
  std::wstring text = L"Client tracing options <<_Unknown_>> <<_ProductName";
  ReplaceBrandingPlaceholders(text);
  EXPECT_EQ(text, L"Client tracing options <<_Unknown_>> <<_ProductName");
  EXPECT_TRUE(recorder.Lines().empty());
  // Only tokens that occur are asked for.
  text = L"<<_UrlName_>>";
  ReplaceBrandingPlaceholders(text);
  EXPECT_EQ(recorder.Messages(),
            (Strings{"OvBrands::getInstance ", "LoadLibrary OvBrands.dll", "OvBrands::GetURL",
                     "URL is: https://www.printsentry.example/support"}));
}

TEST_F(BrandingTest, LoadIsAttemptedOncePerProcess) {
  EXPECT_STREQ(OvBrands::getInstance()->GetProductName(), L"Unknown Product");
  UseLibrary("full");  // appears after the failed load: not retried
  OvBrands* again = OvBrands::getInstance();
  EXPECT_EQ(again, OvBrands::getInstance());
  EXPECT_STREQ(again->GetProductName(), L"Unknown Product");
  EXPECT_EQ(Count("OvBrands::getInstance "), 3u);
  EXPECT_EQ(Count("LoadLibrary failed for DLL: OvBrands.dll"), 1u);
  EXPECT_FALSE(Wrote("LoadLibrary OvBrands.dll"));
}

TEST_F(BrandingTest, SupportFileLocationEndsInOneBackslash) {
  const std::wstring folder = machine->FixtureFolder("full");
  for (const std::wstring& recorded : {folder, folder + L"\\"}) {
    machine->SetSupportFileLocation(recorded);
    EXPECT_EQ(GetSupportFileLocation(machine->Registry(), &machine->clock), folder + L"\\");
    EXPECT_STREQ(OvBrands::getInstance()->GetProductName(), L"Veltrane PrintSentry");
    OvBrands::ResetForTesting();
  }
  EXPECT_EQ(Count("LoadLibrary OvBrands.dll"), 2u);
}

TEST_F(BrandingTest, SupportFileLocationOfAnotherTypeIsIgnored) {
  machine->SetSupportFileLocation(machine->FixtureFolder("full"), ov::platform::kRegExpandSz);
  EXPECT_EQ(GetSupportFileLocation(machine->Registry(), &machine->clock), L"");
  EXPECT_STREQ(OvBrands::getInstance()->GetProductName(), L"Unknown Product");
  EXPECT_TRUE(Wrote("LoadLibrary failed for DLL: OvBrands.dll"));
}

TEST_F(BrandingTest, NoSupportFileLocationGivesAnEmptyFolder) {
  EXPECT_EQ(GetSupportFileLocation(machine->Registry(), &machine->clock), L"");
  machine->SetSupportFileLocation(L"");
  EXPECT_EQ(GetSupportFileLocation(machine->Registry(), &machine->clock), L"");
}

TEST_F(BrandingTest, FolderWithoutTheLibraryFallsBackToDefaults) {
  machine->SetSupportFileLocation(machine->FixtureFolder("full") + L"\\missing");
  std::wstring text = L"<<_ProductName_>> Client Tracing";
  ReplaceBrandingPlaceholders(text);
  EXPECT_EQ(text, L"Unknown Product Client Tracing");
  EXPECT_TRUE(Wrote("LoadLibrary failed for DLL: OvBrands.dll"));
}

}  // namespace
