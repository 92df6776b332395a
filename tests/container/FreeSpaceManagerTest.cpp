// The free-space maps: first allocation, hint and uniform requests, growth across the boundaries where a
// new PFS page and a new GAM/SGAM pair are needed, freeing (and the shortening of the file), a container
// that cannot grow, and loading damaged maps.
#include <gtest/gtest.h>

#include <numeric>

#include "DirectoryFixture.h"

namespace quillmar {
namespace {

using test::ExpectThrow;
using test::Join;
using test::TDirectoryFixture;

std::vector<int32_t> Range(int32_t from, int32_t to) {  // [from, to]
  std::vector<int32_t> r(static_cast<size_t>(to - from + 1));
  std::iota(r.begin(), r.end(), from);
  return r;
}

// Claims the pages a test holds, as the file page maps will.
TIntegrityContributor Owns(const std::vector<int32_t>& pages) {
  return [&pages](TIntegrityCheck& c) {
    for (int32_t p : pages) c.ClaimPage(p, "test page " + std::to_string(p));
  };
}

TEST(FreeSpaceManager, GeometryOfSafePages) {
  auto g = TFreeSpaceManager::ComputeGeometry(2048, 8);
  EXPECT_EQ(g.PFSBytesPerPage, 2016);
  EXPECT_EQ(g.ExtentsPerPFSPage, 2016);
  EXPECT_EQ(g.GAMBytesPerPage, 2016);
  EXPECT_EQ(g.ExtentsPerGAMPage, 16128);
  // 8*D = 32512 bits for 4096-byte pages; extents of 12 pages leave 32512 mod 12 = 4 bits unused.
  g = TFreeSpaceManager::ComputeGeometry(4096, 12);
  EXPECT_EQ(g.PFSBytesPerPage, (32512 - 4) / 8);
  EXPECT_EQ(g.ExtentsPerPFSPage, 4063 * 8 / 12);  // whole bytes per page, then whole extents
  EXPECT_EQ(g.GAMBytesPerPage, (32512 - 32512 % g.ExtentsPerPFSPage) / 8);
  EXPECT_NE(ExpectThrow([] { TFreeSpaceManager::ComputeGeometry(2048, 20000); }).find("too large"),
            std::string::npos);
}

TEST(FreeSpaceManager, FirstAllocationCreatesTheMapsAndReturnsPage4) {
  TDirectoryFixture f;
  EXPECT_EQ(f.pfm->TotalPageCount(), 1);
  std::vector<int32_t> pages;
  ASSERT_TRUE(f.fsm->GetPages(1, 1, pages));
  EXPECT_EQ(pages, std::vector<int32_t>{4});
  EXPECT_EQ(f.pfm->TotalPageCount(), 9);
  EXPECT_EQ(f.FilePages(), 9);
  EXPECT_EQ(f.pfm->PFSPageCount(), 1);
  EXPECT_EQ(f.pfm->GAMPageCount(), 1);
  for (int32_t p = 1; p <= 4; ++p) EXPECT_FALSE(f.fsm->IsPageFree(p)) << p;
  for (int32_t p = 5; p <= 8; ++p) EXPECT_TRUE(f.fsm->IsPageFree(p)) << p;
  EXPECT_FALSE(f.fsm->GAMBit(0));
  EXPECT_TRUE(f.fsm->SGAMBit(0));
  EXPECT_EQ(f.fsm->MixedExtentCount(), 1);
  EXPECT_EQ(f.fsm->FreeExtentCount(), 0);
  EXPECT_EQ(Join(f.Check({Owns(pages)})), "");

  // The maps were written: a fresh open sees the same state.
  f.Reopen();
  EXPECT_FALSE(f.fsm->IsPageFree(4));
  EXPECT_TRUE(f.fsm->IsPageFree(5));
  EXPECT_TRUE(f.fsm->SGAMBit(0));
  EXPECT_EQ(Join(f.Check({Owns(pages)})), "");
}

TEST(FreeSpaceManager, HintUniformAndSharedExtents) {
  TDirectoryFixture f;
  std::vector<int32_t> held, got;
  auto take = [&](int32_t count, int32_t hint, bool uniform) {
    EXPECT_TRUE(f.fsm->GetPages(count, hint, got, uniform));
    held.insert(held.end(), got.begin(), got.end());
    return got;
  };
  EXPECT_EQ(take(5, 1, false), Range(4, 8));  // extent 0 full
  EXPECT_FALSE(f.fsm->GAMBit(0));
  EXPECT_FALSE(f.fsm->SGAMBit(0));
  EXPECT_EQ(take(3, 1, false), Range(9, 11));  // a new extent 1, now shared
  EXPECT_TRUE(f.fsm->SGAMBit(1));
  // Uniform: extent 1 is shared, so a new extent 2 is added and owned by the request (SGAM 0).
  EXPECT_EQ(take(2, 1, true), Range(17, 18));
  EXPECT_FALSE(f.fsm->GAMBit(2));
  EXPECT_FALSE(f.fsm->SGAMBit(2));
  // An ordinary request without a useful hint takes from the shared extent 1, not from extent 2.
  EXPECT_EQ(take(1, 1, false), std::vector<int32_t>{12});
  // The hint's extent comes first whatever its bits.
  EXPECT_EQ(take(2, 17, true), Range(19, 20));
  // A uniform request skips the shared extent 1 (13..16 free) and grows the file.
  EXPECT_EQ(take(1, 1, true), std::vector<int32_t>{25});
  EXPECT_EQ(f.pfm->TotalPageCount(), 33);
  EXPECT_EQ(Join(f.Check({Owns(held)})), "");

  // Holes in a full extent: a request hinting at it gets them first, in ascending order.
  f.fsm->FreePages({7, 5});
  std::erase_if(held, [](int32_t p) { return p == 5 || p == 7; });
  EXPECT_TRUE(f.fsm->SGAMBit(0));  // the holes are findable by ordinary requests
  EXPECT_EQ(take(3, 8, false), (std::vector<int32_t>{5, 7, 13}));
  EXPECT_EQ(Join(f.Check({Owns(held)})), "");

  // Freeing every used page of extent 1 makes it wholly free again.
  std::vector<int32_t> ext1;
  for (int32_t p : held)
    if (p >= 9 && p <= 16) ext1.push_back(p);
  f.fsm->FreePages(ext1);
  std::erase_if(held, [](int32_t p) { return p >= 9 && p <= 16; });
  EXPECT_TRUE(f.fsm->GAMBit(1));
  EXPECT_FALSE(f.fsm->SGAMBit(1));
  EXPECT_EQ(f.fsm->FreeExtentCount(), 1);
  EXPECT_EQ(Join(f.Check({Owns(held)})), "");
  // ... and a uniform request now finds it.
  EXPECT_EQ(take(1, 1, true), std::vector<int32_t>{9});
  f.Reopen();
  EXPECT_EQ(Join(f.Check({Owns(held)})), "");
}

TEST(FreeSpaceManager, FreeingTheHighestPagesShortensTheFileAndAllocationGrowsItBack) {
  TDirectoryFixture f;
  std::vector<int32_t> held;
  ASSERT_TRUE(f.fsm->GetPages(13, 1, held));  // 4..8, then 9..16
  ASSERT_EQ(held.back(), 16);
  ASSERT_EQ(f.FilePages(), 17);
  f.fsm->FreePages({16});
  held.pop_back();
  EXPECT_EQ(f.FilePages(), 16);  // ends after page 15
  EXPECT_EQ(f.pfm->TotalPageCount(), 17);
  f.fsm->FreePages({14, 15, 13});  // 15 is now the highest used page
  held.resize(held.size() - 3);
  EXPECT_EQ(f.FilePages(), 15);
  f.fsm->FreePages({4});  // not the highest: no change
  held.erase(held.begin());
  EXPECT_EQ(f.FilePages(), 15);
  EXPECT_EQ(Join(f.Check({Owns(held)})), "");

  // Pages past the shortened end are handed out again with room for them in the file.
  std::vector<int32_t> got;
  ASSERT_TRUE(f.fsm->GetPages(4, 12, got));
  EXPECT_EQ(got, (std::vector<int32_t>{13, 14, 15, 16}));
  EXPECT_GE(f.FilePages(), 17);
  held.insert(held.end(), got.begin(), got.end());
  TPage page = f.pfm->NewPage();
  page.Header.PageType = ptFileData;
  EXPECT_TRUE(f.pfm->WritePage(16, page));
  EXPECT_TRUE(f.pfm->ReadPage(16, page));
  EXPECT_EQ(Join(f.Check({Owns(held)})), "");
  f.Reopen();
  EXPECT_EQ(Join(f.Check({Owns(held)})), "");
}

TEST(FreeSpaceManager, MapPagesAndPageZeroAreNeverFreed) {
  TDirectoryFixture f;
  std::vector<int32_t> held;
  ASSERT_TRUE(f.fsm->GetPages(1, 1, held));
  f.fsm->FreePages({0, 1, 2, 3, -5, 1000});
  for (int32_t p = 1; p <= 3; ++p) EXPECT_FALSE(f.fsm->IsPageFree(p));
  EXPECT_EQ(f.FilePages(), 9);
  EXPECT_EQ(Join(f.Check({Owns(held)})), "");
}

TEST(FreeSpaceManager, AContainerThatCannotGrowIsLeftAsItWas) {
  TDirectoryFixture f;
  std::vector<int32_t> held, got;
  ASSERT_TRUE(f.fsm->GetPages(3, 1, held));  // 4, 5, 6
  auto before = f.fsm->PFSBitmap();
  f.storage.failSetSize = true;
  // 2 pages fit in extent 0, the rest would need new extents: nothing may stay taken.
  EXPECT_FALSE(f.fsm->GetPages(20, 1, got));
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(f.fsm->PFSBitmap(), before);
  EXPECT_EQ(f.fsm->ExtentCount(), 1);
  EXPECT_EQ(f.pfm->TotalPageCount(), 9);
  EXPECT_EQ(Join(f.Check({Owns(held)})), "");
  f.storage.failSetSize = false;
  ASSERT_TRUE(f.fsm->GetPages(20, 1, got));
  EXPECT_EQ(got.front(), 7);
  held.insert(held.end(), got.begin(), got.end());
  f.Reopen();
  EXPECT_EQ(Join(f.Check({Owns(held)})), "");
}

// The boundaries of a Safe's geometry: a second PFS page at extent 2016 and a second GAM/SGAM pair at
// extent 16128 (about 129,000 pages). Only map pages are written, so the file stays sparse.
TEST(FreeSpaceManager, SecondPFSPageAndSecondGAMPair) {
  TDirectoryFixture f;
  std::vector<int32_t> held, got;
  // Extents 0..2015 hold 2016 * 8 - 3 usable pages.
  ASSERT_TRUE(f.fsm->GetPages(2016 * 8 - 3, 1, held));
  EXPECT_EQ(f.fsm->ExtentCount(), 2016);
  EXPECT_EQ(f.pfm->PFSPageCount(), 1);
  ASSERT_TRUE(f.fsm->GetPages(1, 1, got));
  EXPECT_EQ(f.pfm->PFSPageCount(), 2);
  EXPECT_TRUE(f.fsm->IsMapPage(1 + 2016 * 8));
  EXPECT_FALSE(f.fsm->IsPageFree(1 + 2016 * 8));
  EXPECT_EQ(got, std::vector<int32_t>{2 + 2016 * 8});  // the page after the new PFS page
  EXPECT_EQ(f.pfm->GAMPageCount(), 1);
  held.insert(held.end(), got.begin(), got.end());

  // Everything up to the end of extent 16127: 8 PFS pages and one GAM/SGAM pair below it.
  int32_t upTo = 16128 * 8 - 8 - 2;  // usable pages of extents 0..16127: all but 8 PFS pages and a GAM pair
  ASSERT_TRUE(f.fsm->GetPages(upTo - static_cast<int32_t>(held.size()), 1, got));
  held.insert(held.end(), got.begin(), got.end());
  EXPECT_EQ(f.fsm->ExtentCount(), 16128);
  EXPECT_EQ(f.pfm->PFSPageCount(), 8);
  EXPECT_EQ(f.pfm->GAMPageCount(), 1);
  EXPECT_EQ(f.fsm->FreeExtentCount(), 0);

  ASSERT_TRUE(f.fsm->GetPages(1, 1, got));
  const int32_t base = 1 + 16128 * 8;  // first page of extent 16128
  EXPECT_EQ(f.pfm->PFSPageCount(), 9);
  EXPECT_EQ(f.pfm->GAMPageCount(), 2);
  EXPECT_EQ(f.fsm->PFSPageNo(8), base);
  EXPECT_EQ(f.fsm->GAMPageNo(1), base + 1);
  EXPECT_EQ(f.fsm->SGAMPageNo(1), base + 2);
  EXPECT_EQ(got, std::vector<int32_t>{base + 3});
  EXPECT_TRUE(f.fsm->SGAMBit(16128));
  held.insert(held.end(), got.begin(), got.end());
  EXPECT_EQ(Join(f.Check({Owns(held)})), "");
  f.Reopen();
  EXPECT_EQ(f.fsm->ExtentCount(), 16129);
  EXPECT_TRUE(f.fsm->SGAMBit(16128));
  EXPECT_FALSE(f.fsm->IsPageFree(base + 2));
  EXPECT_TRUE(f.fsm->IsPageFree(base + 4));
  EXPECT_EQ(Join(f.Check({Owns(held)})), "");
}

TEST(FreeSpaceManager, DamagedMapsAreRefusedWithTheirMessages) {
  {
    TDirectoryFixture f;
    std::vector<int32_t> got;
    ASSERT_TRUE(f.fsm->GetPages(1, 1, got));
    f.pfm->SetPFSPageCount(0);
    EXPECT_EQ(ExpectThrow([&] { TFreeSpaceManager m(*f.pfm); }),
              "TFreeSpaceManager.Create - PFSPageCount * FPageSize < FExtentCount!");
    f.pfm->SetPFSPageCount(1);
    f.pfm->SetGAMPageCount(0);
    EXPECT_EQ(ExpectThrow([&] { TFreeSpaceManager m(*f.pfm); }),
              "TFreeSpaceManager.Create - GAMPageCount * FPageSize < FExtentCount!");
    f.pfm->SetGAMPageCount(1);
  }
  TDirectoryFixture f;
  std::vector<int32_t> got;
  ASSERT_TRUE(f.fsm->GetPages(1, 1, got));
  f.Close();
  // Flip a payload byte of each map page in turn: the checksum catches it at load.
  struct Case {
    int64_t offset;
    std::string message;
  } cases[] = {
      {1 * 2048 + 40, "TFreeSpaceManager.LoadPFS - can not load page, pageNo = 1"},
      {2 * 2048 + 40, "TFreeSpaceManager.LoadGAM - can not load page, pageNo = 2"},
      {3 * 2048 + 40, "TFreeSpaceManager.LoadGAM - can not load SGAM page, pageNo = 2"},
  };
  std::string original = test::ReadFileBytes(f.path);
  for (const auto& c : cases) {
    std::string bytes = original;
    bytes[static_cast<size_t>(280 + c.offset)] ^= 0x01;  // after the 280-byte part header
    test::WriteFileBytes(f.path, bytes);
    TPageFileManager pfm(f.path, -1, 8, 2048, false, "", "", "", 18);
    EXPECT_EQ(ExpectThrow([&] { TFreeSpaceManager m(pfm); }), c.message);
  }
}

}  // namespace
}  // namespace quillmar
