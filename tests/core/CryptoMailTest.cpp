// Zavozo Rero: the cipher against known answers and an independent byte-by-byte implementation, the
// parameter block, the document and its template, and EncryptAndDeliver with real files.
#include <crypto++/blowfish.h>
#include <crypto++/hex.h>
#include <crypto++/modes.h>
#include <crypto++/sha.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <thread>

#include "base/Base64.h"
#include "base/Exception.h"
#include "core/CryptoMail.h"
#include "core/CryptoMailDelivery.h"
#include "safe/qmSettings.h"
#include "support/TempDir.h"

// Crypto++'s initial Blowfish tables (digits of pi), exported by its library from a private class.
extern const uint32_t kBlowfishPInit[18] __asm__("_ZN8CryptoPP8Blowfish4Base6p_initE");
extern const uint32_t kBlowfishSInit[1024] __asm__("_ZN8CryptoPP8Blowfish4Base6s_initE");

namespace quillmar {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

std::string Hex(std::string_view bytes) {
  std::string out;
  CryptoPP::StringSource(reinterpret_cast<const CryptoPP::byte*>(bytes.data()), bytes.size(), true,
                         new CryptoPP::HexEncoder(new CryptoPP::StringSink(out)));
  return out;
}
std::string Unhex(const std::string& hex) {
  std::string out;
  CryptoPP::StringSource(hex, true, new CryptoPP::HexDecoder(new CryptoPP::StringSink(out)));
  return out;
}
const CryptoPP::byte* B(std::string_view s) {
  return reinterpret_cast<const CryptoPP::byte*>(s.data());
}

std::string Sha1(std::string_view text) {
  std::string d(20, '\0');
  CryptoPP::SHA1().CalculateDigest(reinterpret_cast<CryptoPP::byte*>(d.data()), B(text), text.size());
  return d;
}

// The cipher written out step by step as the format describes it, one Blowfish block per byte.
std::string ReferenceCfb8(std::string_view password, std::string_view bytes, bool decrypt) {
  const std::string key = Sha1(password);
  CryptoPP::Blowfish::Encryption bf(B(key), key.size());
  CryptoPP::byte reg[8] = {0}, out[8];
  bf.ProcessBlock(reg);
  std::string result(bytes);
  for (char& c : result) {
    bf.ProcessBlock(reg, out);
    const auto in = static_cast<CryptoPP::byte>(c);
    const auto x = static_cast<CryptoPP::byte>(in ^ out[0]);
    std::memmove(reg, reg + 1, 7);
    reg[7] = decrypt ? in : x;
    c = static_cast<char>(x);
  }
  return result;
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (auto& c : s) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 16);
  }
  return s;
}

// The parameters of a document, by name, read back with a regular expression.
std::map<std::string, std::string> Parameters(const std::string& html) {
  std::map<std::string, std::string> params;
  static const std::regex re("<param name=\"([^\"]*)\" value=\"([^\"]*)\">");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), re); it != std::sregex_iterator(); ++it)
    params.emplace((*it)[1], (*it)[2]);
  return params;
}

// Decrypts a whole document as a reader would: join "0" ... "count", Base64, CFB-8 decryption.
std::string DecryptDocumentData(const std::string& html, const std::string& password) {
  auto params = Parameters(html);
  const int count = std::stoi(params.at("count"));
  std::string text;
  for (int i = 0; i <= count; ++i) text += params.at(std::to_string(i));
  return ReferenceCfb8(password, Base64Decode(text), true);
}

TEST(CryptoMailCipher, BlowfishAndSha1KnownAnswers) {
  struct Case {
    const char* key;
    const char* plain;
    const char* cipher;
  };
  const Case cases[] = {
      {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
      {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
      {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
      // A 160-bit key, the length the format uses.
      {"F0E1D2C3B4A5968778695A4B3C2D1E0F00112233", "FEDCBA9876543210", "10851C0E3858DA9F"},
  };
  for (const auto& c : cases) {
    const std::string key = Unhex(c.key), plain = Unhex(c.plain);
    std::string out(8, '\0');
    CryptoPP::Blowfish::Encryption(B(key), key.size())
        .ProcessBlock(B(plain), reinterpret_cast<CryptoPP::byte*>(out.data()));
    EXPECT_EQ(Hex(out), c.cipher) << c.key;
  }
  EXPECT_EQ(Hex(Sha1("abc")), "A9993E364706816ABA3E25717850C26C9CD0D89D");
  EXPECT_EQ(Hex(Sha1("")), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
}

TEST(CryptoMailCipher, MatchesTheByteByByteDefinition) {
  for (size_t n : {1u, 2u, 7u, 8u, 9u, 100u, 4097u}) {
    const std::string plain = RandomBytes(n, static_cast<unsigned>(n));
    const std::string text = CryptoMailEncrypt("secret pass", plain);
    EXPECT_EQ(Base64Decode(text), ReferenceCfb8("secret pass", plain, false)) << n;
    EXPECT_EQ(ReferenceCfb8("secret pass", Base64Decode(text), true), plain) << n;
  }
  // The password is taken as 8-bit bytes, windows-1252 characters included.
  EXPECT_EQ(Base64Decode(CryptoMailEncrypt("M\xFCller\x80", "abc")),
            ReferenceCfb8("M\xFCller\x80", "abc", false));
}

TEST(CryptoMailCipher, EveryValueStartsFromTheSameRegisterAndKeepsItsLength) {
  EXPECT_EQ(CryptoMailEncrypt("password1", kCryptoMailCheckPhrase),
            CryptoMailEncrypt("password1", kCryptoMailCheckPhrase));
  EXPECT_NE(CryptoMailEncrypt("password1", kCryptoMailCheckPhrase),
            CryptoMailEncrypt("password2", kCryptoMailCheckPhrase));
  // A fresh register per value: a value's encryption is the prefix of a longer value's.
  const std::string shortText = Base64Decode(CryptoMailEncrypt("password1", "Silver"));
  EXPECT_EQ(Base64Decode(CryptoMailEncrypt("password1", kCryptoMailCheckPhrase)).substr(0, 6), shortText);

  EXPECT_EQ(kCryptoMailCheckPhrase.size(), 40u);
  EXPECT_EQ(CryptoMailEncrypt("password1", ""), "");
  const std::string abc = CryptoMailEncrypt("any password", "abc");
  EXPECT_EQ(abc.size(), 4u);
  EXPECT_EQ(abc.find('='), std::string::npos);
  const std::string four = CryptoMailEncrypt("any password", "abcd");
  ASSERT_EQ(four.size(), 8u);
  EXPECT_EQ(four.substr(6), "==");
}

TEST(CryptoMailParameters, CountAndDataParametersFollowTheDataLength) {
  const std::string data(2048, 'Q');
  std::vector<int> progress;
  const std::string p =
      BuildCryptoMailParameters("KEY", "NAME", data, [&](int pc) { progress.push_back(pc); });
  EXPECT_TRUE(
      p.starts_with("<param name=\"key\" value=\"KEY\">\r\n<param name=\"file_name\" value=\"NAME\">\r\n"
                    "<param name=\"count\" value=\"3\">\r\n<param name=\"0\" value=\"QQ"));
  auto params = Parameters(p);
  EXPECT_EQ(params.size(), 3u + 4u);
  EXPECT_EQ(params.at("0"), std::string(1024, 'Q'));
  EXPECT_EQ(params.at("1"), std::string(1024, 'Q'));
  EXPECT_EQ(params.at("2"), "");
  EXPECT_EQ(params.at("3"), "");
  EXPECT_EQ(progress, (std::vector<int>{0, 33, 66, 100}));
  EXPECT_TRUE(p.ends_with("<param name=\"3\" value=\"\">\r\n"));

  auto empty = Parameters(BuildCryptoMailParameters("K", "", ""));
  EXPECT_EQ(empty.at("count"), "1");
  EXPECT_EQ(empty.at("0"), "");
  EXPECT_EQ(empty.at("1"), "");
  EXPECT_EQ(empty.count("2"), 0u);

  // Around a parameter boundary the text is cut, never lost.
  for (size_t n : {1023u, 1024u, 1025u}) {
    auto cut = Parameters(BuildCryptoMailParameters("K", "", std::string(n, 'x')));
    const int count = std::stoi(cut.at("count"));
    EXPECT_EQ(count, static_cast<int>(n / 1024 + 1));
    std::string joined;
    for (int i = 0; i <= count; ++i) joined += cut.at(std::to_string(i));
    EXPECT_EQ(joined, std::string(n, 'x'));
  }
}

TEST(CryptoMailDocument, ReplacementsIgnoreCaseAndFollowTheirOrder) {
  TqmCryptoMailDocumentFields f;
  f.name = "<b>Ann</b> {%url%}";  // inserted first, so the later url replacement reaches into it
  f.email = "ann@example.org";
  f.url = "https://example.org/{%name%}";  // name is already done: stays as typed
  f.notes = CryptoMailNotes("line one\r\nline two\nthree");
  f.parameters = "<param name=\"0\" value=\"\">";
  f.codebase = "java";
  const std::string doc = BuildCryptoMailDocument(
      "[{%Name%}][{%EMAIL%}|{%email%}][{%url%}][{%AddIdtional%}][{%encryptedData%}][{%codebase%}{%CODEBASE%}"
      "]",
      f);
  EXPECT_EQ(doc,
            "[<b>Ann</b> "
            "https://example.org/{%name%}][ann@example.org|ann@example.org][https://example.org/{%name%}]"
            "[line one<br>line two\nthree][<param name=\"0\" value=\"\">][javajava]");
  EXPECT_EQ(ReplaceAllIgnoreCase("aAa", "a", "aa"), "aaaaaa");
}

TEST(CryptoMailDocument, TemplateCarriesEveryItemOfTheFormat) {
  const std::string t(CryptoMailTemplate());
  for (const char* item :
       {"<title>Brelkan Quillmar II CryptoMail Message</title>", "CryptoMail Message",
        "You received an encrypted message/document from:", "Name:</td><td>{%name%}",
        "<a href=\"mailto:{%email%}\">{%email%}</a>", "<a href=\"{%url%}\">{%url%}</a>",
        "Notes:</td><td>{%addidtional%}",
        "Please provide password as pre-arrange with person above to safely decrypt message/document",
        "(This may take several minutes for larger files)",
        "code=\"qvt.CryptoMail.class\" codebase=\"{%codebase%}\" archive=\"CryptoMail.jar\" width=\"100%\" "
        "height=\"365\"",
        "<param name=\"name\" value=\"CryptoMail\">\r\n<param name=\"codeBase\" value=\"{%codebase%}\">\r\n"
        "<param name=\"code\" value=\"qvt.CryptoMail.class\">\r\n{%encrypteddata%}",
        "Cannot Load Brelkan Quillmar - \r\nCryptoMail (Java Applet)", "Decryption in progress ...",
        "function showDecryptMessage()", "function hideDecryptMessage()", "}, 500);", "More info</a>",
        "charset=windows-1252", "Silver kites drift over the quiet harbor"})
    EXPECT_NE(t.find(item), std::string::npos) << item;
  // CR LF line ends only, ASCII only, and nothing the browser would fetch from the network.
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '\n') {
      ASSERT_TRUE(i > 0 && t[i - 1] == '\r') << "bare line feed at " << i;
    }
    ASSERT_LT(static_cast<unsigned char>(t[i]), 0x80u) << "non-ASCII byte at " << i;
  }
  EXPECT_EQ(t.find(" src="), std::string::npos);
  EXPECT_EQ(t.find("http:"), std::string::npos);
  EXPECT_EQ(t.find("https:"), std::string::npos);
  EXPECT_EQ(t.find("url("), std::string::npos);
  EXPECT_NE(t.find("default-src 'none'"), std::string::npos);
}

TEST(CryptoMailDocument, TemplateBlowfishTablesAreTheStandardOnes) {
  const std::string t(CryptoMailTemplate());
  auto table = [&](const std::string& name) {
    const size_t from = t.find("var " + name + " = [");
    const size_t to = t.find("];", from);
    EXPECT_NE(from, std::string::npos) << name;
    std::vector<uint32_t> words;
    static const std::regex hex("0x([0-9a-f]{8})");
    const std::string body = t.substr(from, to - from);
    for (auto it = std::sregex_iterator(body.begin(), body.end(), hex); it != std::sregex_iterator(); ++it)
      words.push_back(static_cast<uint32_t>(std::stoul((*it)[1], nullptr, 16)));
    return words;
  };
  EXPECT_EQ(table("BF_P"), std::vector<uint32_t>(kBlowfishPInit, kBlowfishPInit + 18));
  EXPECT_EQ(table("BF_S"), std::vector<uint32_t>(kBlowfishSInit, kBlowfishSInit + 1024));
}

// EncryptAndDeliver with real folders and a recording mail hand-over.
class CryptoMailDeliveryTest : public ::testing::Test {
protected:
  TempDir dir;
  std::vector<TqmMailHandOver> handedOver;
  bool mailProgramPresent = true;
  TqmCryptoMailDesktop desktop{[this] { return dir.file("Desktop"); }, [this] { return dir.file("tmp"); },
                               [this](const TqmMailHandOver& m) {
                                 handedOver.push_back(m);
                                 return mailProgramPresent;
                               }};

  TqmCryptoMailRequest Request(const std::string& password = "abcde") {
    TqmCryptoMailRequest r;
    r.password = r.passwordConfirm = password;
    r.options.destination = 0;
    r.options.fileMode = false;
    return r;
  }
  std::string Desktop() const { return dir.file("Desktop/Encrypted.html"); }
};

TEST_F(CryptoMailDeliveryTest, RefusesShortOrMismatchedPasswordsAndWritesNothing) {
  auto r = Request("abcd");
  auto res = EncryptAndDeliver(r, {}, desktop);
  EXPECT_EQ(res.outcome, TqmCryptoMailOutcome::Refused);
  EXPECT_EQ(res.message, "Password needs to be at least 5 digits.");
  r = Request("abcdef");
  r.passwordConfirm = "abcdeg";
  res = EncryptAndDeliver(r, {}, desktop);
  EXPECT_EQ(res.outcome, TqmCryptoMailOutcome::Refused);
  EXPECT_EQ(res.message,
            "The passwords you typed do not match. Please type your password in both text boxes.");
  EXPECT_FALSE(fs::exists(dir.file("Desktop")));

  res = EncryptAndDeliver(Request("abcde"), {}, desktop);
  EXPECT_EQ(res.outcome, TqmCryptoMailOutcome::Saved);
  EXPECT_EQ(res.message, "Encrypt complete.");
  EXPECT_EQ(res.documentPath, Desktop());
}

TEST_F(CryptoMailDeliveryTest, MessageDocumentDecryptsAndShowsTheReplyInformation) {
  auto r = Request("pass word");
  r.message =
      "Gr\xFC\xDF"
      "e \x80 5\r\nzweite Zeile";
  r.options.name = "Ann <Sender>";
  r.options.email = "ann@example.org";
  r.options.website = "https://example.org";
  r.options.additional = "first\r\nsecond";
  std::vector<double> progress;
  EncryptAndDeliver(
      r, [&](double done, bool&) { progress.push_back(done); }, desktop);
  const std::string html = test::ReadFileBytes(Desktop());
  EXPECT_EQ(DecryptDocumentData(html, "pass word"), r.message);
  auto params = Parameters(html);
  EXPECT_EQ(params.at("file_name"), "");
  EXPECT_EQ(params.at("key"), CryptoMailEncrypt("pass word", kCryptoMailCheckPhrase));
  EXPECT_NE(html.find("<td>Ann <Sender></td>"), std::string::npos);
  EXPECT_NE(html.find("<td>first<br>second</td>"), std::string::npos);
  EXPECT_NE(html.find("codebase=\"java\""), std::string::npos);
  EXPECT_EQ(html.find("{%"), std::string::npos);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front(), 0);
  EXPECT_EQ(progress.back(), 1);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST_F(CryptoMailDeliveryTest, ACancelBeforeTheDocumentIsWrittenWritesNothing) {
  const std::string big = RandomBytes(3 * kCryptoMailStep + 17, 3);
  fs::create_directories(dir.file("in"));
  test::WriteFileBytes(dir.file("in/big.bin"), big);
  auto r = Request();
  r.options.fileMode = true;
  r.fileName = dir.file("in/big.bin");
  for (double at : {0.0, 0.3, 0.9}) {
    double seen = 0;
    auto res = EncryptAndDeliver(
        r,
        [&](double done, bool& cancel) {
          seen = done;
          if (done >= at) cancel = true;
        },
        desktop);
    EXPECT_EQ(res.outcome, TqmCryptoMailOutcome::Cancelled) << at;
    EXPECT_LT(seen, 1) << at;
    EXPECT_TRUE(res.documentPath.empty());
    EXPECT_FALSE(fs::exists(dir.file("Desktop"))) << at;
  }
  // The encryption stops at the step where the cancel came.
  size_t steps = 0;
  EXPECT_FALSE(CryptoMailEncrypt("abcde", big, [&](size_t done) {
    EXPECT_EQ(done, ++steps * kCryptoMailStep);
    return steps < 2;
  }));
  EXPECT_EQ(steps, 2u);
  EXPECT_EQ(*CryptoMailEncrypt("abcde", big, [](size_t) { return true; }), CryptoMailEncrypt("abcde", big));
}

TEST(CryptoMailSettings, OptionsRoundTripAndUnchangedOptionsLeaveTheTextAlone) {
  TqmSettings settings;
  TqmCryptoMailOptions o = LoadCryptoMailOptions(settings);
  EXPECT_EQ(o.destination, 1);
  EXPECT_TRUE(o.fileMode);
  EXPECT_TRUE(o.replyShown);
  o.destination = 0;
  o.fileMode = false;
  o.replyShown = false;
  o.name = "Ann \xC4";
  o.email = "ann@example.org";
  o.website = "https://example.org";
  o.additional = "line one\r\nline \"two\"";
  StoreCryptoMailSettings(o, settings);
  EXPECT_EQ(settings.CryptoMail.ia.Value(), Base64Encode(o.additional));
  TqmSettings back;
  back.ParseText(settings.GetText());
  const TqmCryptoMailOptions read = LoadCryptoMailOptions(back);
  EXPECT_EQ(read.destination, 0);
  EXPECT_FALSE(read.fileMode);
  EXPECT_FALSE(read.replyShown);
  EXPECT_EQ(read.name, o.name);
  EXPECT_EQ(read.additional, o.additional);

  // A record as another program may have written it: "st" out of range, "ia" without padding.
  back.CryptoMail.st.SetValue(7);
  back.CryptoMail.ia.SetValue("YWJj\x01ZA");
  const std::string before = back.GetText();
  StoreCryptoMailSettings(LoadCryptoMailOptions(back), back);
  EXPECT_EQ(back.GetText(), before);

  o.email = "two\nlines";
  EXPECT_THROW(StoreCryptoMailSettings(o, back), EQuillmarError);
  EXPECT_EQ(back.GetText(), before);
}

TEST_F(CryptoMailDeliveryTest, FileDocumentCarriesTheBytesAndTheNameWithoutFolder) {
  const std::string bytes = RandomBytes(5000, 7);
  fs::create_directories(dir.file("in"));
  test::WriteFileBytes(dir.file("in/M\xC3\xBCller \xE6\x97\xA5.bin"), bytes);  // "Müller 日.bin" in UTF-8
  auto r = Request("file pass");
  r.options.fileMode = true;
  r.fileName = dir.file("in/M\xC3\xBCller \xE6\x97\xA5.bin");
  EncryptAndDeliver(r, {}, desktop);
  const std::string html = test::ReadFileBytes(Desktop());
  EXPECT_EQ(DecryptDocumentData(html, "file pass"), bytes);
  // windows-1252 in the document; the character it cannot hold becomes "_".
  EXPECT_EQ(ReferenceCfb8("file pass", Base64Decode(Parameters(html).at("file_name")), true),
            "M\xFCller _.bin");

  // A second run replaces the document; no partial file stays behind.
  r.fileName.clear();
  EncryptAndDeliver(r, {}, desktop);
  auto params = Parameters(test::ReadFileBytes(Desktop()));
  EXPECT_EQ(params.at("count"), "1");
  EXPECT_EQ(params.at("0"), "");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("Desktop")), fs::directory_iterator()), 1);
}

TEST_F(CryptoMailDeliveryTest, UnreadableFileOrUnwritableFolderIsReportedAndKeepsTheOldDocument) {
  EncryptAndDeliver(Request(), {}, desktop);
  const std::string before = test::ReadFileBytes(Desktop());

  auto r = Request();
  r.options.fileMode = true;
  r.fileName = dir.file("no such file.txt");
  try {
    EncryptAndDeliver(r, {}, desktop);
    FAIL() << "a missing file must not give an empty document";
  } catch (const EQuillmarError& e) {
    EXPECT_NE(std::string(e.what()).find("no such file.txt"), std::string::npos) << e.what();
    EXPECT_EQ(std::string(e.what()).find("abcde"), std::string::npos);
  }
  if (::geteuid() != 0) {  // root writes anywhere
    ::chmod(dir.file("Desktop").c_str(), 0500);
    EXPECT_THROW(EncryptAndDeliver(Request(), {}, desktop), EQuillmarError);
    ::chmod(dir.file("Desktop").c_str(), 0700);
  }
  // A folder in the place of the document: the rename fails, the error says where.
  TqmCryptoMailDesktop blocked = desktop;
  blocked.desktopFolder = [this] { return dir.file("blocked"); };
  fs::create_directories(dir.file("blocked/Encrypted.html/x"));
  try {
    EncryptAndDeliver(Request(), {}, blocked);
    FAIL() << "writing over a folder must fail";
  } catch (const EQuillmarError& e) {
    EXPECT_NE(std::string(e.what()).find("could not be written"), std::string::npos) << e.what();
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("blocked")), fs::directory_iterator()), 1);
  EXPECT_EQ(test::ReadFileBytes(Desktop()), before);
}

TEST_F(CryptoMailDeliveryTest, MailDestinationHandsTheTemporaryDocumentOver) {
  auto r = Request();
  r.options.destination = 1;
  r.options.email = "ann@example.org";
  r.recipient = "bob@example.org";
  auto res = EncryptAndDeliver(r, {}, desktop);
  EXPECT_EQ(res.outcome, TqmCryptoMailOutcome::HandedOver);
  EXPECT_EQ(res.message, "");
  // A new private folder of the temporary folder for every document.
  EXPECT_EQ(fs::path(res.documentPath).filename(), "Encrypted.html");
  EXPECT_EQ(fs::path(res.documentPath).parent_path().parent_path(), fs::path(dir.file("tmp")));
  EXPECT_EQ(fs::status(fs::path(res.documentPath).parent_path()).permissions() & fs::perms::all,
            fs::perms::owner_all);
  EXPECT_TRUE(fs::exists(res.documentPath));
  const std::string first = res.documentPath;
  ASSERT_EQ(handedOver.size(), 1u);
  const auto& m = handedOver[0];
  EXPECT_EQ(m.subject, "Brelkan Quillmar: Encrypted message/document");
  EXPECT_TRUE(
      m.body.starts_with("Please open attached HTML file with MS Internet Explorer and decrypt\r\nmessage"));
  EXPECT_TRUE(m.body.ends_with("Click YES as this action is required to decrypt the message/document."));
  EXPECT_EQ(m.originatorAddress, "ann@example.org");
  EXPECT_EQ(m.originatorName, "ann@example.org");  // no name typed
  EXPECT_EQ(m.recipientAddress, "bob@example.org");
  EXPECT_EQ(m.recipientName, "bob@example.org");
  EXPECT_EQ(m.attachment, res.documentPath);

  r.options.email.clear();
  r.recipient.clear();
  mailProgramPresent = false;
  res = EncryptAndDeliver(r, {}, desktop);
  EXPECT_EQ(res.outcome, TqmCryptoMailOutcome::MailProgramMissing);
  EXPECT_NE(res.message.find(res.documentPath), std::string::npos);
  EXPECT_NE(res.documentPath, first);
  EXPECT_TRUE(fs::exists(first));  // the mail program may not have read it yet
  EXPECT_EQ(handedOver.back().originatorAddress, "");
  EXPECT_EQ(handedOver.back().recipientAddress, "");
}

}  // namespace
}  // namespace quillmar
