#pragma once
// TqmFieldList: the ordered fields of a category or entry. The list owns its fields: deleting,
// clearing or destroying the list destroys them. Indexes out of range throw EQuillmarError.
#include <memory>
#include <vector>

#include "model/qmField.h"

namespace quillmar {

class TqmFieldList {
public:
  TqmFieldList() = default;
  TqmFieldList(const TqmFieldList&) = delete;
  TqmFieldList& operator=(const TqmFieldList&) = delete;
  TqmFieldList(TqmFieldList&&) = default;
  TqmFieldList& operator=(TqmFieldList&&) = default;

  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  TqmField& operator[](int index);
  const TqmField& operator[](int index) const;

  // Appends and returns the field now owned by the list.
  TqmField& Add(std::unique_ptr<TqmField> field);
  TqmField& Add(const TqmField& field) { return Add(std::make_unique<TqmField>(field)); }
  // Inserts before index (Count() appends).
  TqmField& Insert(int index, std::unique_ptr<TqmField> field);
  void Delete(int index);
  // Removes the field from the list and hands it to the caller.
  std::unique_ptr<TqmField> Extract(int index);
  void Exchange(int a, int b);
  void Clear() { items_.clear(); }

  // Iteration over the fields in order.
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

private:
  void Check(int index, int limit) const;
  std::vector<std::unique_ptr<TqmField>> items_;
};

}  // namespace quillmar
