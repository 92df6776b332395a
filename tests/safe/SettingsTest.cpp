#include <gtest/gtest.h>

#include "base/Exception.h"
#include "safe/qmSettings.h"

namespace quillmar {
namespace {

const char kDefaultText[] =
    "fs=0\r\nautoStart=-1\r\nhideWindow=0\r\nlockOnMinimize=0\r\nconfDel=-1\r\n"
    "edtrLeft=0\r\nedtrTop=0\r\nedtrHeight=0\r\n"
    "removeFileFromDisk=-1\r\n"
    "st=1\r\nem=-1\r\nss=-1\r\nin=\r\niem=\r\niw=\r\nia=\r\n";

TEST(Settings, DefaultsAreWrittenAsSixteenLinesInTableOrder) {
  TqmSettings s;
  EXPECT_EQ(s.GetText(), kDefaultText);
  ASSERT_EQ(s.Groups().size(), 6u);
  EXPECT_EQ(s.Groups()[0]->Label(), "app\\");
  EXPECT_EQ(s.Groups()[3]->Label(), "File Locker");
  EXPECT_TRUE(s.Safe.Items().empty());
  EXPECT_TRUE(s.Options.Items().empty());
}

TEST(Settings, ChangedValuesRoundTrip) {
  TqmSettings s;
  s.App.fs.SetValue(true);
  s.App.confDel.SetValue(false);
  s.PasswordRepository.edtrLeft.SetValue(-120);
  s.PasswordRepository.edtrHeight.SetValue(2147483647);
  s.FileLocker.removeFileFromDisk.SetValue(false);
  s.CryptoMail.st.SetValue(0);
  s.CryptoMail.in.SetValue("Anna Berg");
  s.CryptoMail.iem.SetValue("anna@example.org");
  s.CryptoMail.iw.SetValue("a=b \"quoted\" =");
  s.CryptoMail.ia.SetValue("QmVyZ3dlZyAx");
  std::string text = s.GetText();
  EXPECT_NE(text.find("edtrLeft=-120\r\n"), std::string::npos);
  EXPECT_NE(text.find("iw=a=b \"quoted\" =\r\n"), std::string::npos);

  TqmSettings r;
  r.ParseText(text);
  EXPECT_EQ(r.GetText(), text);
  EXPECT_TRUE(r.App.fs.Value());
  EXPECT_FALSE(r.App.confDel.Value());
  EXPECT_EQ(r.PasswordRepository.edtrLeft.Value(), -120);
  EXPECT_EQ(r.CryptoMail.iw.Value(), "a=b \"quoted\" =");
}

TEST(Settings, EmptyOrMissingKeysGiveDefaultsAndEmptyStrings) {
  TqmSettings s;
  s.CryptoMail.in.SetValue("old");
  s.App.autoStart.SetValue(false);
  s.ParseText("");
  EXPECT_EQ(s.GetText(), kDefaultText);

  s.ParseText("confDel=0\r\nst=0");  // no line break after the last value
  EXPECT_FALSE(s.App.confDel.Value());
  EXPECT_EQ(s.CryptoMail.st.Value(), 0);
  EXPECT_TRUE(s.App.autoStart.Value());
  EXPECT_EQ(s.CryptoMail.in.Value(), "");
}

TEST(Settings, BooleanAndIntegerParsing) {
  struct Case {
    const char* text;
    bool expected;
  };
  // confDel defaults to true, fs to false: each case is read into both so a wrong fallback shows.
  for (Case c : {Case{"TRUE", true}, Case{"tRuE", true}, Case{"1", true}, Case{"-1", true}, Case{"42", true},
                 Case{"99999999999", true}, Case{"False", false}, Case{"0", false}, Case{"-0", false}}) {
    TqmSettings s;
    s.ParseText(std::string("fs=") + c.text + "\r\nconfDel=" + c.text + "\r\n");
    EXPECT_EQ(s.App.fs.Value(), c.expected) << c.text;
    EXPECT_EQ(s.App.confDel.Value(), c.expected) << c.text;
  }
  for (const char* junk : {"", "yes", "1x", "tru", "0.5"}) {
    TqmSettings s;
    s.ParseText(std::string("fs=") + junk + "\r\nconfDel=" + junk + "\r\n");
    EXPECT_FALSE(s.App.fs.Value()) << junk;
    EXPECT_TRUE(s.App.confDel.Value()) << junk;
  }
  TqmSettings s;
  s.ParseText("st=abc\r\nedtrTop=2147483648\r\nedtrLeft=-2147483648\r\nedtrHeight= 300 \r\n");
  EXPECT_EQ(s.CryptoMail.st.Value(), 1);
  EXPECT_EQ(s.PasswordRepository.edtrTop.Value(), 0);
  EXPECT_EQ(s.PasswordRepository.edtrLeft.Value(), INT32_MIN);
  EXPECT_EQ(s.PasswordRepository.edtrHeight.Value(), 300);
}

TEST(Settings, FirstOccurrenceWinsAndKeysMatchOnlyAtLineStart) {
  TqmSettings s;
  // "iem=" must not be taken for "em=", nor a key inside a string value for the key itself.
  s.ParseText("iem=x@y\r\nin=st=0 em=0\r\nem=0\r\nst=5\r\nst=7\r\nia=\r\n");
  EXPECT_EQ(s.CryptoMail.iem.Value(), "x@y");
  EXPECT_EQ(s.CryptoMail.in.Value(), "st=0 em=0");
  EXPECT_FALSE(s.CryptoMail.em.Value());
  EXPECT_EQ(s.CryptoMail.st.Value(), 5);
  // A file with LF line ends (edited by hand) still reads line by line.
  s.ParseText("confDel=0\nin=Ann\nst=0\n");
  EXPECT_FALSE(s.App.confDel.Value());
  EXPECT_EQ(s.CryptoMail.in.Value(), "Ann");
  EXPECT_EQ(s.CryptoMail.st.Value(), 0);
}

TEST(Settings, StringsWithLineBreaksAreRefusedSoTheTextCannotBeInjected) {
  TqmSettings s;
  s.CryptoMail.in.SetValue("kept");
  EXPECT_THROW(s.CryptoMail.in.SetValue("Ann\r\nfs=-1"), EQuillmarError);
  EXPECT_THROW(s.CryptoMail.iw.SetValue("a\nb"), EQuillmarError);
  EXPECT_EQ(s.CryptoMail.in.Value(), "kept");
  EXPECT_FALSE(TqmSettingsString::IsStorable("x\r"));
  EXPECT_TRUE(TqmSettingsString::IsStorable("x y"));
  TqmSettings r;
  r.ParseText(s.GetText());
  EXPECT_FALSE(r.App.fs.Value());
}

TEST(Settings, FindByKey) {
  TqmSettings s;
  ASSERT_NE(s.Find("ia"), nullptr);
  EXPECT_EQ(s.Find("ia"), &s.CryptoMail.ia);
  EXPECT_EQ(s.Find("removeFileFromDisk"), &s.FileLocker.removeFileFromDisk);
  EXPECT_EQ(s.Find("nope"), nullptr);
}

}  // namespace
}  // namespace quillmar
