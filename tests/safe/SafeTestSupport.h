#pragma once
// Shared pieces of the Safe layer tests: a fixture with an empty Safe open in a temporary folder,
// with the strict scripted prompter of tests/support.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "safe/qmSFSWrapper.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace quillmar::test {

class SafeFixture : public ::testing::Test {
protected:
  static constexpr char kPassword[] = "correct horse";

  void SetUp() override {
    safeFile = dir.file("Test.qvt");
    safe.CreateEmptySafe(safeFile, kPassword);
  }

  TempDir dir;
  TScriptedPrompter prompter;
  TqmSFSWrapper safe{&prompter};
  std::string safeFile;
};

}  // namespace quillmar::test
