#pragma once
// TqmFieldedItem: the common base of categories and entries: a parent category (not owned; none for a
// top-level category), a sort order and an owned list of fields. A new item has SortOrder 0 and no
// fields. The record forms are given by the derived classes.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Stream.h"
#include "model/qmFieldList.h"

namespace quillmar {

class TqmCategory;

class TqmFieldedItem {
public:
  explicit TqmFieldedItem(TqmCategory* parent = nullptr) : parent_(parent) {}
  virtual ~TqmFieldedItem() = default;
  TqmFieldedItem(const TqmFieldedItem&) = delete;
  TqmFieldedItem& operator=(const TqmFieldedItem&) = delete;

  TqmCategory* Parent() const { return parent_; }
  void SetParent(TqmCategory* parent) { parent_ = parent; }
  int32_t SortOrder() const { return sortOrder_; }
  void SetSortOrder(int32_t v) { sortOrder_ = v; }
  TqmFieldList& Fields() { return fields_; }
  const TqmFieldList& Fields() const { return fields_; }
  TqmField& FieldAt(int index) { return fields_[index]; }
  const TqmField& FieldAt(int index) const { return fields_[index]; }

  // Fills the item from its record text.
  virtual void ParseText(std::string_view text) = 0;
  // The item's stored form, written at the stream's position.
  virtual void SaveToStream(TStream& stream) const = 0;
  // Replaces the item's content with the stored form read from the stream's position.
  virtual void LoadFromStream(TStream& stream) = 0;
  // The item's record text.
  virtual std::string GetText() const = 0;

protected:
  TqmCategory* parent_;
  int32_t sortOrder_ = 0;
  TqmFieldList fields_;
};

}  // namespace quillmar
