#pragma once
// A Safe in a temporary home folder with helpers that store categories and entries directly, for the
// tests of the repository tree and the operations on it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"
#include "core/qmGlobal.h"
#include "core/qmRepositoryTree.h"
#include "model/qmCategory.h"
#include "model/qmRepositoryEntry.h"
#include "support/TempDir.h"

namespace quillmar {

using TNode = TqmRepositoryTree::TNode;
using TItem = TqmRepositoryTree::TItem;
using W = TqmSFSWrapper;

class RepositoryTreeTest : public ::testing::Test {
protected:
  static constexpr char kPassword[] = "secret-1";

  RepositoryTreeTest() : g_(dir_.file("home"), {"quillmar"}) {
    TqmSFSWrapper maker;
    maker.CreateEmptySafe(g_.SafeFile("Alpha"), kPassword);
    maker.CloseSafe();
    g_.OpenSafeByName("Alpha", kPassword);
  }

  TqmCategory& AddCategory(const std::string& name, int32_t order, TqmCategory* parent = nullptr) {
    auto c = std::make_unique<TqmCategory>(parent);
    c->SetName(name);
    c->SetSortOrder(order);
    c->Fields().Add(TqmField(0, "Title", ftNormalText, true));
    c->Fields().Add(TqmField(1, "Notes", ftTextMemo, false));
    g_.SaveCategory(*c);
    categories_.push_back(std::move(c));
    return *categories_.back();
  }
  // Saves an entry and returns its file's container path.
  std::string AddEntry(TqmCategory& cat, const std::string& title, int32_t order,
                       const std::string& notes = "") {
    TqmRepositoryEntry e(&cat);
    e.SetSortOrder(order);
    e.Fields().Add(TqmField(0, "Title", ftNormalText, true, title));
    e.Fields().Add(TqmField(1, "Notes", ftTextMemo, false, notes));
    g_.SaveEntry(cat.FolderPath(), e);
    return std::string(W::kRepositoryRoot) + cat.FolderPath() + e.FileName();
  }
  // Writes bytes as a record file (with the record password), as another program might have.
  void WriteRecord(const std::string& path, const std::string& bytes) {
    TSFSFileStream s(g_.Wrapper().Container(), 0, "", "", W::kRecordPassword, TSingleFileSystem::fmCreate,
                     path);
    s.WriteString(bytes);
  }
  std::string SafeFile() { return g_.SafeFile("Alpha"); }
  // Opens the Safe again through `storage` (a fault-injecting part storage). The guard closes the Safe
  // and lets go of the storage before the storage goes, however the test ends.
  struct TStorageGuard {
    TqmGlobal& g;
    ~TStorageGuard() {
      g.CloseSafe();
      g.Wrapper().SetPartStorage(nullptr);
    }
  };
  [[nodiscard]] std::unique_ptr<TStorageGuard> ReopenThrough(TSFSPartStorage& storage) {
    auto guard = std::make_unique<TStorageGuard>(TStorageGuard{g_});
    g_.CloseSafe();
    g_.Wrapper().SetPartStorage(&storage);
    g_.OpenSafeByName("Alpha", kPassword);
    return guard;
  }
  void Reopen() {
    g_.CloseSafe();
    g_.OpenSafeByName("Alpha", kPassword);
  }
  static std::vector<std::string> Titles(const TNode& node) {
    std::vector<std::string> t;
    for (const auto& e : node.entries) t.push_back(e->Title());
    return t;
  }

  // The category named `name` directly below node (loading node).
  static TNode& Child(TqmRepositoryTree& tree, TNode& node, const std::string& name) {
    tree.Load(node);
    for (auto& c : node.categories)
      if (c->category->Name() == name) return *c;
    ADD_FAILURE() << "no category " << name;
    throw std::runtime_error("no category " + name);
  }
  // The entry titled `title` of the category node.
  static TItem Entry(TqmRepositoryTree& tree, TNode& node, const std::string& title) {
    tree.Load(node);
    for (auto& e : node.entries)
      if (e->Title() == title) return {&node, e.get()};
    ADD_FAILURE() << "no entry " << title;
    throw std::runtime_error("no entry " + title);
  }
  // The whole repository as a fresh tree reads it from the Safe: each category as Name:SortOrder with
  // its children in braces, each entry as Title:SortOrder, in display order.
  std::string Shape() {
    TqmRepositoryTree fresh(g_);
    std::string out;
    std::function<void(TNode&)> walk = [&](TNode& node) {
      fresh.Load(node);
      for (auto& c : node.categories) {
        out += c->category->Name() + ":" + std::to_string(c->category->SortOrder()) + "{";
        walk(*c);
        if (out.back() == ' ') out.pop_back();
        out += "} ";
      }
      for (auto& e : node.entries) out += e->Title() + ":" + std::to_string(e->SortOrder()) + " ";
    };
    walk(fresh.Root());
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
  }

  // A{A1{x0} A2{} a0 a1 a2} B{b0 b1}
  void MakeSample() {
    TqmCategory& a = AddCategory("A", 0);
    TqmCategory& a1 = AddCategory("A1", 0, &a);
    AddCategory("A2", 1, &a);
    AddEntry(a, "a0", 0);
    AddEntry(a, "a1", 1);
    AddEntry(a, "a2", 2);
    AddEntry(a1, "x0", 0);
    TqmCategory& b = AddCategory("B", 1);
    AddEntry(b, "b0", 0);
    AddEntry(b, "b1", 1);
  }
  // The in-memory tree below node in the form Shape() gives of the Safe.
  static std::string ShapeOf(TNode& node) {
    std::string out;
    for (auto& c : node.categories)
      out += c->category->Name() + ":" + std::to_string(c->category->SortOrder()) + "{" + ShapeOf(*c) + "} ";
    for (auto& e : node.entries) out += e->Title() + ":" + std::to_string(e->SortOrder()) + " ";
    if (!out.empty()) out.pop_back();
    return out;
  }

  test::TempDir dir_;
  TqmGlobal g_;
  std::vector<std::unique_ptr<TqmCategory>> categories_;
};

}  // namespace quillmar
