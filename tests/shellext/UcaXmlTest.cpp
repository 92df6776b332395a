// Merging our actions into Thunar's uca.xml: the user's bytes stay, ours come and go whole.
#include <gtest/gtest.h>

#include "base/Exception.h"
#include "shellext/UcaXml.h"
#include "support/ExpectThrow.h"

namespace quillmar {
namespace {

bool Ours(const std::string& id) {
  return id.rfind("quillmar-", 0) == 0;
}

const std::string kUserFile =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!-- my actions -->\n"
    "<actions>\n"
    "<action>\n"
    "\t<icon>utilities-terminal</icon>\n"
    "\t<name>Open Terminal Here</name>\n"
    "\t<unique-id>1700000000000000-1</unique-id>\n"
    "\t<command>exo-open --working-directory %f --launch TerminalEmulator</command>\n"
    "\t<description>Ex &lt;1&gt; <![CDATA[</action> inside]]></description>\n"
    "\t<patterns>*</patterns>\n"
    "\t<startup-notify/>\n"
    "\t<directories/>\n"
    "</action>\n"
    "</actions>\n";

const std::string kOurs =
    "<action>\n\t<name>Lock file ...</name>\n\t<unique-id>quillmar-lock</unique-id>\n</action>\n";

TEST(UcaXml, OursGoBeforeTheEndAndComeOutAgainLeavingTheUsersBytes) {
  const std::string merged = MergeUcaXml("uca.xml", kUserFile, Ours, kOurs);
  EXPECT_EQ(merged, kUserFile.substr(0, kUserFile.size() - 11) + kOurs + "</actions>\n");
  TUcaFile file;
  std::string error;
  ASSERT_TRUE(ParseUcaXml(merged, file, error)) << error;
  ASSERT_EQ(file.Actions.size(), 2u);
  EXPECT_EQ(file.Actions[0].UniqueId, "1700000000000000-1");
  EXPECT_EQ(file.Actions[1].UniqueId, "quillmar-lock");
  // Again: the same bytes; without ours: the user's file as it was.
  EXPECT_EQ(MergeUcaXml("uca.xml", merged, Ours, kOurs), merged);
  EXPECT_EQ(MergeUcaXml("uca.xml", merged, Ours, ""), kUserFile);
}

TEST(UcaXml, OursAreFoundWhereverThunarPutThemAndAnEmptyRootTakesThem) {
  // Thunar rewrites the file when the user edits an action: ours may then sit between the user's.
  const std::string between =
      "<actions>\n<action><unique-id>quillmar-send</unique-id></action>\n"
      "<action><unique-id>mine</unique-id></action>\n"
      "<action>\n<unique-id>quillmar-&#x6c;ock</unique-id>\n</action>\n</actions>";
  EXPECT_EQ(MergeUcaXml("uca.xml", between, Ours, ""),
            "<actions>\n<action><unique-id>mine</unique-id></action>\n</actions>");
  EXPECT_EQ(MergeUcaXml("uca.xml", "<?xml version=\"1.0\"?>\n<actions />\n", Ours, kOurs),
            "<?xml version=\"1.0\"?>\n<actions>\n" + kOurs + "</actions>\n");
  EXPECT_EQ(MergeUcaXml("uca.xml", "<actions/>", Ours, ""), "<actions/>");
  // Thunar's default file declares its elements in an internal subset, with ">" inside.
  const std::string declared =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE actions [\n  <!ELEMENT actions (action)+>\n"
      "  <!ATTLIST name xml:lang CDATA #IMPLIED>\n]>\n<actions>\n</actions>\n";
  EXPECT_EQ(MergeUcaXml("uca.xml", declared, Ours, kOurs),
            declared.substr(0, declared.size() - 11) + kOurs + "</actions>\n");
}

TEST(UcaXml, AFileThatCannotBeReadIsRefusedNotRewritten) {
  for (const std::string bad : {"", "<actions>\n<action>\n", "<menu></menu>", "<actions><action></actions>",
                                "<actions><!-- open", "text<actions></actions>"}) {
    TUcaFile file;
    std::string error;
    EXPECT_FALSE(ParseUcaXml(bad, file, error)) << bad;
    EXPECT_FALSE(error.empty());
    EXPECT_NE(test::ExpectThrow<EQuillmarError>([&] {
                MergeUcaXml("/c/uca.xml", bad, Ours, kOurs);
              }).find("/c/uca.xml"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace quillmar
