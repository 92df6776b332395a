#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "base/Base64.h"
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "model/qmCategory.h"

namespace quillmar {
namespace {

using test::kIconBase64;
using test::kIconBytes;
using test::Le32;

// The category "Web" (sort order 1, with an icon) with fields Site (URL, required) and PIN
// (password, sort order -4), as its stream must look.
const std::string kWebHeader = R"(<category sortorder="1" name="Web"> <! CDATA[AAABAAEA]]>)";
const std::string kSiteField = R"(<field sortorder="0" name="Site" type="11" required="1"></field>)";
const std::string kPinField = R"(<field sortorder="-4" name="PIN" type="1" required="0"></field>)";
const std::string kWebStream = std::string("\x38\0\0\0", 4) + kWebHeader + std::string("\x02\0\0\0", 4) +
                               std::string("\x40\0\0\0", 4) + kSiteField + std::string("\x3F\0\0\0", 4) +
                               kPinField + "</category>";

void MakeWeb(TqmCategory& c) {
  c.SetSortOrder(1);
  c.SetName("Web");
  c.SetIcon(kIconBytes);
  c.Fields().Add(TqmField(0, "Site", ftURL, true));
  c.Fields().Add(TqmField(-4, "PIN", ftPassword, false));
}

void ExpectWeb(const TqmCategory& c) {
  EXPECT_EQ(c.SortOrder(), 1);
  EXPECT_EQ(c.Name(), "Web");
  EXPECT_EQ(c.Icon(), kIconBytes);
  ASSERT_EQ(c.Fields().Count(), 2);
  EXPECT_EQ(c.FieldAt(0), TqmField(0, "Site", ftURL, true));
  EXPECT_EQ(c.FieldAt(1), TqmField(-4, "PIN", ftPassword, false));
}

TEST(Category, HeaderText) {
  TqmCategory c;
  EXPECT_EQ(c.GetText(), R"(<category sortorder="0" name=""> <! CDATA[]]>)");
  MakeWeb(c);
  EXPECT_EQ(c.GetText(), kWebHeader);
  c.SetSortOrder(-3);
  c.SetIcon("");
  EXPECT_EQ(c.GetText(), R"(<category sortorder="-3" name="Web"> <! CDATA[]]>)");
}

TEST(Category, StreamIsWrittenAndReadByteForByte) {
  TqmCategory c;
  MakeWeb(c);
  TMemoryStream out;
  out.WriteString("prefix");  // the caller positions the stream
  c.SaveToStream(out);
  EXPECT_EQ(out.ToString(), "prefix" + kWebStream);

  TMemoryStream in("xy" + kWebStream + "after");
  in.SetPosition(2);
  TqmCategory d;
  d.SetFolderName("category42");
  d.LoadFromStream(in);
  ExpectWeb(d);
  EXPECT_EQ(d.FolderName(), "category42");  // kept: it is not part of the stream
  EXPECT_EQ(in.Position(), static_cast<int64_t>(2 + kWebStream.size()));
  TMemoryStream again;
  d.SaveToStream(again);
  EXPECT_EQ(again.ToString(), kWebStream);
}

TEST(Category, LoadingStartsFromAnEmptyCategory) {
  TqmCategory c;
  MakeWeb(c);
  // A header with neither sort order, name nor icon: sort order -1, empty name and icon, no fields.
  std::string header = "<category>";
  TMemoryStream in(Le32(header.size()) + header + Le32(0) + "</category>");
  c.LoadFromStream(in);
  EXPECT_EQ(c.SortOrder(), -1);
  EXPECT_EQ(c.Name(), "");
  EXPECT_FALSE(c.HasIcon());
  EXPECT_EQ(c.Fields().Count(), 0);
}

TEST(Category, TrailerIsNotChecked) {
  std::string body = kWebStream.substr(0, kWebStream.size() - 11);
  for (const std::string& trailer : {std::string("XXXXXXXXXXX"), std::string("</cat"), std::string()}) {
    TMemoryStream in(body + trailer);
    TqmCategory c;
    c.LoadFromStream(in);
    ExpectWeb(c);
  }
}

TEST(Category, ParseTextOfOddHeaders) {
  TqmCategory c;
  c.SetIcon(kIconBytes);
  // Missing or empty icon section: the icon stays.
  c.ParseText(R"(<category sortorder="7" name="A"> <! CDATA[]]>)");
  EXPECT_EQ(c.Icon(), kIconBytes);
  c.ParseText(R"(<category sortorder="7" name="A">)");
  EXPECT_EQ(c.Icon(), kIconBytes);
  // No closing marker: the content is empty, the icon stays.
  c.ParseText(R"(<category> <! CDATA[QUJD)");
  EXPECT_EQ(c.Icon(), kIconBytes);
  // The XML form "<![CDATA[" is not the icon marker.
  c.ParseText(R"(<category><![CDATA[QUJD]]>)");
  EXPECT_EQ(c.Icon(), kIconBytes);
  c.ParseText(R"(<category sortorder="x"> <! CDATA[QUJD]]>)");
  EXPECT_EQ(c.Icon(), "ABC");
  EXPECT_EQ(c.SortOrder(), 0);
  EXPECT_EQ(c.Name(), "A");  // no name key: kept
}

TEST(Category, DamagedLengthsFailClearlyAndLeaveTheCategoryAlone) {
  const std::string header = kWebHeader;
  struct Case {
    std::string bytes;
    std::string message;
  } cases[] = {
      {Le32(0xFFFFFFFF) + header, "Stream read error: the category record is damaged (header length -1)."},
      {Le32(0x7FFFFFFF) + header,
       "Stream read error: the category record is cut short (header length 2147483647, but only 56 bytes "
       "follow)."},
      {Le32(header.size()) + header + Le32(0x80000000),
       "Stream read error: the category record is damaged (field count -2147483648)."},
      // Two billion fields would need at least 8 GB; only 11 bytes follow.
      {Le32(header.size()) + header + Le32(2000000000) + "</category>",
       "Stream read error: the category record is cut short (field count 2000000000, but only 11 bytes "
       "follow)."},
      {Le32(header.size()) + header + Le32(1) + Le32(1000) + kSiteField,
       "Stream read error: the field record is cut short (field length 1000, but only 64 bytes follow)."},
      {Le32(header.size()) + header + Le32(2) + Le32(kSiteField.size()) + kSiteField, "Stream read error"},
      {Le32(header.size()) + header.substr(0, 10), ""},
      {std::string("\x38\0", 2), "Stream read error"},
  };
  for (const Case& k : cases) {
    TqmCategory c;
    MakeWeb(c);
    c.SetFolderName("category1");
    TMemoryStream in(k.bytes);
    try {
      c.LoadFromStream(in);
      ADD_FAILURE() << "no error for " << k.message;
    } catch (const EStreamError& e) {
      if (!k.message.empty()) {
        EXPECT_EQ(std::string(e.what()), k.message);
      }
    }
    ExpectWeb(c);
    EXPECT_EQ(c.FolderName(), "category1");
  }
}

TEST(Category, ClipboardForm) {
  TqmCategory c;
  MakeWeb(c);
  c.SetFolderName("category5");
  test::TFakeClipboard clip;
  c.CopyToClipboard(clip);
  EXPECT_EQ(clip.text, "qvt-category:" + Base64Encode(kWebStream));

  TqmCategory pasted;
  pasted.SetFolderName("category9");
  pasted.PasteFromClipboard(clip);
  ExpectWeb(pasted);
  EXPECT_EQ(pasted.FolderName(), "");  // the caller gives it a place

  for (const char* foreign :
       {"", "hello", " qvt-category:AAAA", "QVT-CATEGORY:AAAA", "qvt-entry:AAAA", "qvt-category"}) {
    clip.text = foreign;
    try {
      pasted.PasteFromClipboard(clip);
      ADD_FAILURE() << "pasted " << foreign;
    } catch (const EQuillmarError& e) {
      EXPECT_STREQ(e.what(), "wrong clipboard");
    }
    ExpectWeb(pasted);
  }
  // The marker alone is a category stream of nothing: a read error, the category unchanged.
  clip.text = "qvt-category:";
  EXPECT_THROW(pasted.PasteFromClipboard(clip), EStreamError);
  ExpectWeb(pasted);
}

TEST(Category, Paths) {
  TqmCategory internet;
  internet.SetName("Internet");
  internet.SetFolderName("category17");
  TqmCategory mail(&internet);
  mail.SetName("Mail");
  mail.SetFolderName("category9999998");
  EXPECT_EQ(internet.NamePath(), "Internet\\");
  EXPECT_EQ(mail.NamePath(), "Internet\\Mail\\");
  EXPECT_EQ(mail.FolderPath(), "category17\\category9999998\\");
  TqmCategory unsaved(&mail);
  EXPECT_EQ(unsaved.FolderPath(), "category17\\category9999998\\\\");
}

}  // namespace
}  // namespace quillmar
