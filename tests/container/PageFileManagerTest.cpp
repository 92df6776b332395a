// The page file: the exact bytes of a new encrypted container (read from disk by the test itself),
// passwords, every page error code, damaged headers, modes and locks, multi-part containers.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include "CipherReference.h"
#include "container/Checksum.h"
#include "container/PageFileManager.h"
#include "container/SFSError.h"
#include "support/ExpectThrow.h"
#include "support/FaultyPartStorage.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

using test::Bytes;
using test::ExpectThrow;
using test::Hex;
using test::LE32;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

constexpr uint32_t kCreate = TPageFileManager::fmCreate;
constexpr uint32_t kSafeMode = 18;  // read/write, exclusive

std::string Pattern(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 31 + seed);
  return s;
}

std::unique_ptr<TPageFileManager> Make(const std::string& name, std::string_view password = "",
                                       uint32_t mode = kCreate, TSFSPartStorage* storage = nullptr,
                                       int64_t partSize = -1) {
  return std::make_unique<TPageFileManager>(name, partSize, 8, 2048, false, "", "", password, mode, storage);
}

// Writes `plain` as a data page and returns what the caller's buffer holds afterwards.
std::string WriteData(TPageFileManager& m, int32_t pageNo, const std::string& plain, uint8_t enc,
                      uint8_t checksumType = ctXor, int32_t next = -1) {
  TPage page = m.NewPage();
  std::memcpy(page.Data.data(), plain.data(), plain.size());
  page.Header.PageType = ptFileData;
  page.Header.EncryptionType = enc;
  page.Header.ChecksumType = checksumType;
  page.Header.NextPage = next;
  EXPECT_TRUE(m.WritePage(pageNo, page, nullptr, static_cast<int32_t>(plain.size()))) << m.LastError();
  return Bytes(page.Data.data(), plain.size());
}

std::string ReadData(TPageFileManager& m, int32_t pageNo, size_t n, bool raw = false, bool* ok = nullptr) {
  TPage page = m.NewPage();
  bool r = m.ReadPage(pageNo, page, raw, nullptr, static_cast<int32_t>(n));
  if (ok) *ok = r;
  return Bytes(page.Data.data(), n);
}

// The whole file of a new encrypted container, byte by byte from the format rules.
TEST(PageFileManager, NewEncryptedContainerHasTheDocumentedBytes) {
  TempDir dir;
  const std::string name = dir.file("Safe.qvt");
  const std::string password = "m4ster pass";
  const std::string question = "Where were you born?";
  const std::string answer = "Lisbon";
  const std::string plain = Pattern(2016, 5);
  std::string bufferAfterWrite;
  int64_t partSize;
  {
    TPageFileManager m(name, -1, 8, 2048, false, answer, question, password, kCreate);
    ASSERT_TRUE(m.AddPages(2));
    bufferAfterWrite = WriteData(m, 1, plain, etRijndael);
    partSize = m.PartSize();
    EXPECT_EQ(m.PageDataSize(), 2016);
  }
  const std::string file = ReadFileBytes(name);
  ASSERT_EQ(file.size(), 280u + 3 * 2048u);

  // Part header.
  EXPECT_EQ(file.substr(0, 8), "AAMVHFSS");
  EXPECT_EQ(static_cast<int64_t>(LE32(file, 8)) | static_cast<int64_t>(LE32(file, 12)) << 32, partSize);
  EXPECT_EQ(file.substr(16, 264), std::string(264, '\0'));

  // Container header.
  const std::string h = file.substr(280, 256);
  EXPECT_EQ(h.substr(0, 8), "AASFSSGN");
  EXPECT_EQ(LE32(h, 8), test::RefXor(h.substr(12)));
  EXPECT_EQ(LE32(h, 12), 0x400CCCCDu);
  float version;
  uint32_t bits = LE32(h, 12);
  std::memcpy(&version, &bits, 4);
  EXPECT_FLOAT_EQ(version, 2.2f);
  EXPECT_EQ(LE32(h, 16), 2048u);
  EXPECT_EQ(LE32(h, 20), 8u);
  EXPECT_EQ(LE32(h, 24), 1u);
  for (int off = 28; off < 48; off += 4) EXPECT_EQ(LE32(h, off), 0u) << off;
  EXPECT_EQ(LE32(h, 48), 3u);
  EXPECT_EQ(static_cast<uint8_t>(h[224]), 1);
  EXPECT_EQ(static_cast<uint8_t>(h[225]), 0);
  EXPECT_EQ(h.substr(226), std::string(30, '\0'));

  // Key record: decrypt it with the reference cipher and check every field.
  const std::string kr = h.substr(52, 172);
  const std::string master = test::RefDecrypt(password, kr.substr(0, 32));
  EXPECT_EQ(LE32(kr, 64), test::RefCrc16Arc(master));
  const std::string padded = password + std::string(32 - password.size(), '\0');
  EXPECT_EQ(test::RefDecrypt(answer, kr.substr(32, 32)), padded);
  EXPECT_EQ(LE32(kr, 68), test::RefCrc16Arc(padded));
  EXPECT_EQ(test::RefDecrypt("xGH;T,>!&R%*947km", kr.substr(72, 100)),
            question + std::string(100 - question.size(), '\0'));

  // The rest of page 0 is never written.
  EXPECT_EQ(file.substr(280 + 256, 2048 - 256), std::string(2048 - 256, '\0'));

  // Page 1: header and payload encrypted under the 33-byte container key.
  const std::string p1 = file.substr(280 + 2048, 2048);
  const std::string expectedPayload = test::RefEncrypt(master + std::string(1, '\0'), plain);
  EXPECT_EQ(Hex(p1.substr(32)), Hex(expectedPayload));
  EXPECT_EQ(LE32(p1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(LE32(p1, 4), test::RefXor(expectedPayload));
  EXPECT_EQ(static_cast<uint8_t>(p1[8]), ptFileData);
  EXPECT_EQ(static_cast<uint8_t>(p1[9]), etRijndael);
  EXPECT_EQ(static_cast<uint8_t>(p1[10]), ctXor);
  EXPECT_EQ(p1.substr(11, 21), std::string(21, '\0'));
  // The caller's buffer is left encrypted.
  EXPECT_EQ(bufferAfterWrite, expectedPayload);
  // Page 2 was added but never written.
  EXPECT_EQ(file.substr(280 + 2 * 2048), std::string(2048, '\0'));
}

TEST(PageFileManager, NewPlainContainerHeader) {
  TempDir dir;
  Make(dir.file("p.qvt"));
  const std::string h = ReadFileBytes(dir.file("p.qvt")).substr(280);
  ASSERT_EQ(h.size(), 256u);
  EXPECT_EQ(h.substr(52, 172), std::string(172, '\0'));
  EXPECT_EQ(static_cast<uint8_t>(h[224]), 0);
  EXPECT_EQ(LE32(h, 48), 1u);
  EXPECT_EQ(LE32(h, 8), test::RefXor(h.substr(12)));
}

TEST(PageFileManager, PasswordsAreCheckedAndOnlyTheRightOneDecrypts) {
  TempDir dir;
  const std::string name = dir.file("w.qvt");
  const std::string plain = Pattern(2016, 9);
  {
    auto m = Make(name, "right");
    ASSERT_TRUE(m->AddPages(1));
    WriteData(*m, 1, plain, etRijndael);
  }
  {
    auto m = Make(name, "wrong", kSafeMode);
    EXPECT_TRUE(m->IsEncrypted());
    EXPECT_FALSE(m->PasswordMatched());
    EXPECT_FALSE(m->ContainerKey().Empty());
    bool ok;
    EXPECT_NE(ReadData(*m, 1, 2016, false, &ok), plain);
  }
  {
    auto m = Make(name, "", kSafeMode);  // no password: no key at all
    EXPECT_FALSE(m->PasswordMatched());
    EXPECT_TRUE(m->ContainerKey().Empty());
    bool ok;
    ReadData(*m, 1, 2016, false, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(m->LastError(), TPageFileManager::ErrDecrypt);
  }
  auto m = Make(name, "right", kSafeMode);
  EXPECT_TRUE(m->PasswordMatched());
  EXPECT_TRUE(m->KeyRecord().CheckPassword("right"));
  EXPECT_EQ(ReadData(*m, 1, 2016), plain);
}

TEST(PageFileManager, CreationArgumentsAreChecked) {
  TempDir dir;
  const std::string name = dir.file("a.qvt");
  EXPECT_EQ(ExpectThrow([&] { TPageFileManager(name, -1, 8, 2047, false, "", "", "", kCreate); }),
            "TPageFileManager.Create - page size should be >= 2048bytes .");
  EXPECT_EQ(ExpectThrow([&] { TPageFileManager(name, -1, 0, 2048, false, "", "", "", kCreate); }),
            "TPageFileManager.Create - extent page count should be >= 1 Page.");
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_EQ(ExpectThrow([&] { TPageFileManager(name, 379, 8, 2048, false, "", "", "", kCreate); }),
            "File part size is too small. Minimal part size is 380");
  EXPECT_EQ(
      ExpectThrow([&] { TPageFileManager(name, -1, 8, 2048, false, "", "", std::string(33, 'x'), kCreate); }),
      "Password length should be shorter then 32");
  // A refused password does not cost an existing file.
  WriteFileBytes(name, "keep me");
  EXPECT_NE(
      ExpectThrow([&] { TPageFileManager(name, -1, 8, 2048, false, "", "", std::string(33, 'x'), kCreate); }),
      "<no exception>");
  EXPECT_EQ(ReadFileBytes(name), "keep me");
  EXPECT_EQ(ExpectThrow([&] { TPageFileManager(name, -1, 8, 2048, true, "", "", "", kCreate); }),
            "TPageFileManager.Create - In-memory containers are not supported.");
  TPageFileManager ok(name, 380, 1, 2048, false, "", "", "", kCreate);
  EXPECT_EQ(ok.PageSize(), 2048);
  EXPECT_EQ(ok.ExtentPageCount(), 1);
}

TEST(PageFileManager, OpeningMissingOrDamagedFilesFailsWithItsMessage) {
  TempDir dir;
  const std::string name = dir.file("d.qvt");
  EXPECT_EQ(ExpectThrow([&] { Make(name, "", 2); }), "File '" + name + "' not found");
  Make(name);
  const std::string good = ReadFileBytes(name);
  const std::string loadMsg = "TSingleFileSystem.LoadHeader - Invalid SFS file, header is corrupted.";

  WriteFileBytes(name, "AAMVHFSZ" + good.substr(8));
  EXPECT_EQ(ExpectThrow([&] { Make(name, "", 2); }), "File d.qvt has corrupted header.");

  std::string bad = good;
  bad[280 + 8] ^= 1;  // checksum off by one bit
  WriteFileBytes(name, bad);
  EXPECT_EQ(ExpectThrow([&] { Make(name, "", 2); }), loadMsg);
  bad = good;
  bad[280 + 100] ^= 0x40;  // a covered byte changed
  WriteFileBytes(name, bad);
  EXPECT_EQ(ExpectThrow([&] { Make(name, "", 2); }), loadMsg);
  bad = good;
  bad[280 + 3] = 'X';  // magic
  WriteFileBytes(name, bad);
  EXPECT_EQ(ExpectThrow([&] { Make(name, "", 2); }), loadMsg);
  WriteFileBytes(name, good.substr(0, 280 + 255));  // header cut short
  EXPECT_EQ(ExpectThrow([&] { Make(name, "", 2); }), loadMsg);

  // A page size of 0 with a checksum that matches is damage too, not a container.
  bad = good;
  std::memset(&bad[280 + 16], 0, 4);
  uint32_t sum = test::RefXor(bad.substr(280 + 12, 244));
  for (int i = 0; i < 4; ++i) bad[280 + 8 + i] = static_cast<char>(sum >> (8 * i));
  WriteFileBytes(name, bad);
  EXPECT_EQ(ExpectThrow([&] { Make(name, "", 2); }), loadMsg);

  // The reserved tail is covered by the checksum too.
  bad = good;
  bad[280 + 250] = 1;
  WriteFileBytes(name, bad);
  EXPECT_EQ(ExpectThrow([&] { Make(name, "", 2); }), loadMsg);
  WriteFileBytes(name, good);
  EXPECT_NO_THROW(Make(name, "", 2));
}

class PageErrors : public ::testing::Test {
protected:
  void SetUp() override {
    name = dir.file("e.qvt");
    m = Make(name, "pw", kCreate, &storage);
    ASSERT_TRUE(m->AddPages(3));
    stored = WriteData(*m, 1, plain, etRijndael);
  }
  int64_t PageOffset(int n) const { return 280 + 2048 * n; }

  TempDir dir;
  std::string name;
  test::TFaultyPartStorage storage;
  std::unique_ptr<TPageFileManager> m;
  const std::string plain = Pattern(2016, 1);
  std::string stored;
};

TEST_F(PageErrors, RawReadsReturnStoredBytesAndHeaderOnlyReadsFollowChains) {
  EXPECT_EQ(ReadData(*m, 1, 2016), plain);
  EXPECT_EQ(ReadData(*m, 1, 2016, true), stored);
  WriteData(*m, 2, "abc", etNone, ctXor, 3);
  TPageHeader h;
  ASSERT_TRUE(m->ReadPage(2, h, nullptr, false, nullptr, 0));
  EXPECT_EQ(h.NextPage, 3);
  EXPECT_EQ(h.PageType, ptFileData);
  // A header-only write keeps the stored payload's checksum valid.
  h.NextPage = -1;
  ASSERT_TRUE(m->WritePage(2, h, nullptr, nullptr, 0));
  EXPECT_EQ(ReadData(*m, 2, 3), "abc");
  EXPECT_EQ(ExpectThrow([&] {
              TPageHeader x;
              m->ReadPage(1, x, nullptr);
            }),
            "TPageFileManager.ReadPage - pData is nil.");
}

TEST_F(PageErrors, AlteredPayloadIsAChecksumMismatchBeforeDecryption) {
  m.reset();
  std::string file = ReadFileBytes(name);
  file[PageOffset(1) + 32 + 700] ^= 0x01;
  WriteFileBytes(name, file);
  m = Make(name, "pw", kSafeMode);
  bool ok;
  ReadData(*m, 1, 2016, true, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(m->LastError(), TPageFileManager::ErrChecksum);
  // The reserved bytes of the page header are not covered and are ignored.
  file[PageOffset(1) + 32 + 700] ^= 0x01;
  file[PageOffset(1) + 20] = 0x5A;
  WriteFileBytes(name, file);
  m.reset();
  m = Make(name, "pw", kSafeMode);
  EXPECT_EQ(ReadData(*m, 1, 2016), plain);
  EXPECT_EQ(m->LastError(), 0);
}

TEST_F(PageErrors, UnknownEncryptionOrMissingKeyFails) {
  m.reset();
  std::string file = ReadFileBytes(name);
  file[PageOffset(1) + 9] = 7;  // an encryption type nobody knows
  WriteFileBytes(name, file);
  m = Make(name, "pw", kSafeMode);
  bool ok;
  ReadData(*m, 1, 2016, false, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(m->LastError(), TPageFileManager::ErrDecrypt);
  EXPECT_EQ(ReadData(*m, 1, 2016, true, &ok), stored);  // raw still works
  EXPECT_TRUE(ok);

  TPage page = m->NewPage();
  page.Header.EncryptionType = 9;
  EXPECT_EQ(ExpectThrow([&] { m->WritePage(2, page); }),
            "TPageFileManager.EncodeBuffer - Unknown encryption type");

  // An unencrypted container has no key to encrypt with unless the caller gives one.
  auto plainC = Make(dir.file("plain.qvt"));
  ASSERT_TRUE(plainC->AddPages(1));
  TPage p = plainC->NewPage();
  p.Header.EncryptionType = etRijndael;
  EXPECT_FALSE(plainC->WritePage(1, p));
  EXPECT_EQ(plainC->LastError(), TPageFileManager::ErrEncrypt);
  EXPECT_EQ(Bytes(p.Data.data(), 16), std::string(16, '\0'));  // nothing was encrypted
  // A file key of its own works in any container.
  TContainerKey fileKey;
  TKeyRecord::Make("file pw", "", "", &fileKey);
  std::string data = Pattern(2016, 4);
  std::memcpy(p.Data.data(), data.data(), data.size());
  ASSERT_TRUE(plainC->WritePage(1, p, &fileKey));
  TPage back = plainC->NewPage();
  ASSERT_TRUE(plainC->ReadPage(1, back, false, &fileKey));
  EXPECT_EQ(Bytes(back.Data.data(), 2016), data);
  EXPECT_FALSE(plainC->ReadPage(1, back));
  EXPECT_EQ(plainC->LastError(), TPageFileManager::ErrDecrypt);
}

TEST_F(PageErrors, ShortReadsAndWritesGiveTheirCodes) {
  bool ok;
  storage.readBudget = 20;
  ReadData(*m, 1, 2016, false, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(m->LastError(), TPageFileManager::ErrReadPageHeader);
  storage.readBudget = 32 + 100;
  ReadData(*m, 1, 2016, false, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(m->LastError(), TPageFileManager::ErrReadPageData);
  storage.readBudget = -1;

  storage.writeBudget = 31;
  TPage page = m->NewPage();
  page.Header.PageType = ptFileData;
  EXPECT_FALSE(m->WritePage(2, page));
  EXPECT_EQ(m->LastError(), TPageFileManager::ErrWritePageHeader);
  storage.writeBudget = 32 + 2015;
  EXPECT_FALSE(m->WritePage(2, page));
  EXPECT_EQ(m->LastError(), TPageFileManager::ErrWritePageData);
  storage.writeBudget = -1;
  EXPECT_TRUE(m->WritePage(2, page));
  EXPECT_EQ(m->LastError(), 0);

  // Pages outside the container: reading them is a short header read, writing them a fault.
  ReadData(*m, 4, 10, false, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(m->LastError(), TPageFileManager::ErrReadPageHeader);
  ReadData(*m, -3, 10, false, &ok);
  EXPECT_FALSE(ok);
  EXPECT_NE(ExpectThrow([&] { m->WritePage(0, page); }), "<no exception>");
  EXPECT_NE(ExpectThrow([&] { m->WritePage(4, page); }), "<no exception>");
  EXPECT_NE(ExpectThrow([&] { m->WritePage(1, page, nullptr, 2017); }), "<no exception>");

  // A file cut in the middle of a page.
  m.reset();
  std::string file = ReadFileBytes(name);
  WriteFileBytes(name, file.substr(0, PageOffset(1) + 32 + 1000));
  m = Make(name, "pw", kSafeMode);
  ReadData(*m, 1, 2016, false, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(m->LastError(), TPageFileManager::ErrReadPageData);
}

TEST_F(PageErrors, AddPagesFailureChangesNothing) {
  const int64_t size = m->ContainerSize();
  storage.failSetSize = true;
  EXPECT_FALSE(m->AddPages(5));
  EXPECT_EQ(m->TotalPageCount(), 4);
  EXPECT_EQ(m->ContainerSize(), size);
  storage.failSetSize = false;
  storage.writeBudget = 0;  // the header cannot be saved
  EXPECT_FALSE(m->AddPages(5));
  storage.writeBudget = -1;
  EXPECT_EQ(m->TotalPageCount(), 4);
  EXPECT_EQ(m->ContainerSize(), size);
  m.reset();
  EXPECT_EQ(Make(name, "pw", kSafeMode)->TotalPageCount(), 4);
}

TEST(PageFileManager, ChecksumTypesOfPages) {
  TempDir dir;
  auto m = Make(dir.file("c.qvt"));
  ASSERT_TRUE(m->AddPages(2));
  std::string data = Pattern(1000, 3);
  std::string stored = WriteData(*m, 1, data, etNone, ctCRC16);
  TPageHeader h;
  ASSERT_TRUE(m->ReadPage(1, h, nullptr, false, nullptr, 0));
  EXPECT_EQ(h.Checksum, test::RefCrc16Arc(stored));
  WriteData(*m, 2, data, etNone, 5);  // unknown type: stored as 0, always verifies
  ASSERT_TRUE(m->ReadPage(2, h, nullptr, false, nullptr, 0));
  EXPECT_EQ(h.Checksum, 0u);
  EXPECT_EQ(ReadData(*m, 2, 1000), data);
  // An odd length: the XOR covers whole words only.
  WriteData(*m, 2, "abcdefg", etNone);
  ASSERT_TRUE(m->ReadPage(2, h, nullptr, false, nullptr, 0));
  EXPECT_EQ(h.Checksum, test::RefXor("abcd"));
}

TEST(PageFileManager, ReadOnlyAndExclusiveModes) {
  TempDir dir;
  const std::string name = dir.file("m.qvt");
  { Make(name, "pw")->AddPages(2); }
  const std::string before = ReadFileBytes(name);
  {
    auto ro = Make(name, "pw", 0);
    EXPECT_TRUE(ro->ReadOnly());
    EXPECT_FALSE(ro->Exclusive());
    ro->SetDirItemCount(7);
    ro->SaveHeader();  // skipped
    EXPECT_FALSE(ro->AddPages(1));
    TPage p = ro->NewPage();
    EXPECT_NE(ExpectThrow([&] { ro->WritePage(1, p); }), "<no exception>");
  }
  EXPECT_EQ(ReadFileBytes(name), before);

  auto holder = Make(name, "pw", kSafeMode);
  EXPECT_TRUE(holder->Exclusive());
  std::string msg = ExpectThrow([&] { Make(name, "pw", kSafeMode); });
  EXPECT_NE(msg.find("in use"), std::string::npos) << msg;
  EXPECT_EQ(msg.find("pw"), std::string::npos);
  EXPECT_NE(ExpectThrow([&] { Make(name, "pw", 2); }), "<no exception>");
  EXPECT_NE(ExpectThrow([&] { Make(name, "pw", kCreate); }), "<no exception>");
  EXPECT_EQ(ReadFileBytes(name), before);  // the held Safe was not replaced
  EXPECT_NO_THROW(Make(name, "pw", 0));    // a read-only look is allowed
  holder.reset();
  EXPECT_NO_THROW(Make(name, "pw", kSafeMode));
}

TEST(PageFileManager, HeaderFieldsPersistThroughSaveHeader) {
  TempDir dir;
  const std::string name = dir.file("h.qvt");
  TContainerKey key;
  TKeyRecord record = TKeyRecord::Make("new", "", "", &key);
  {
    auto m = Make(name);
    m->SetGAMPageCount(1);
    m->SetPFSPageCount(2);
    m->SetDirPageCount(3);
    m->SetFirstDirPage(4);
    m->SetDirItemCount(5);
    m->SetCompressionMethod(7);
    m->SetKeyRecord(record, key);
    m->SaveHeader();
  }
  auto m = Make(name, "new", 2);
  EXPECT_EQ(m->GAMPageCount(), 1);
  EXPECT_EQ(m->PFSPageCount(), 2);
  EXPECT_EQ(m->DirPageCount(), 3);
  EXPECT_EQ(m->FirstDirPage(), 4);
  EXPECT_EQ(m->DirItemCount(), 5);
  EXPECT_EQ(m->CompressionMethod(), 7);
  EXPECT_EQ(m->FirstManagedPage(), 1);
  EXPECT_TRUE(m->IsEncrypted());
  EXPECT_TRUE(m->PasswordMatched());
  EXPECT_TRUE(m->ContainerKey() == key);
  EXPECT_TRUE(m->KeyRecord() == record);
  EXPECT_GT(m->GetFreeSpace(), 0);
}

TEST(PageFileManager, MultiPartContainerWithSmallParts) {
  TempDir dir;
  const std::string name = dir.file("mp.qvt");
  const int64_t part = 1000;  // 720 data bytes: every page straddles parts
  {
    auto m = Make(name, "pw", kCreate, nullptr, part);
    ASSERT_TRUE(m->AddPages(5));
    EXPECT_EQ(m->ContainerSize(), 6 * 2048);
    EXPECT_EQ(m->PartCount(), (6 * 2048 + 719) / 720);
    for (int n = 1; n <= 5; ++n) WriteData(*m, n, Pattern(2016, n), etRijndael);
  }
  auto m = Make(name, "pw", kSafeMode);
  EXPECT_EQ(m->PartSize(), part);
  EXPECT_EQ(m->TotalPageCount(), 6);
  for (int n = 1; n <= 5; ++n) EXPECT_EQ(ReadData(*m, n, 2016), Pattern(2016, n)) << n;
  // Shrinking the data (top pages freed) removes part files; the header keeps its count.
  ASSERT_TRUE(m->SetContainerSize(3 * 2048));
  EXPECT_EQ(m->TotalPageCount(), 6);
  EXPECT_EQ(m->PartCount(), (3 * 2048 + 719) / 720);
  EXPECT_FALSE(std::filesystem::exists(name + std::to_string(m->PartCount())));
  bool ok;
  ReadData(*m, 4, 2016, false, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(m->LastError(), TPageFileManager::ErrReadPageHeader);
  EXPECT_EQ(ReadData(*m, 2, 2016), Pattern(2016, 2));
  EXPECT_FALSE(m->SetContainerSize(100));

  // Rename and delete carry every part.
  m.reset();
  ASSERT_TRUE(TPageFileManager::RenameContainerFiles(name, name + "0"));
  m = Make(name + "0", "pw", kSafeMode);
  EXPECT_EQ(ReadData(*m, 1, 2016), Pattern(2016, 1));
  m.reset();
  EXPECT_TRUE(TPageFileManager::DeleteContainerFiles(name + "0"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace quillmar
