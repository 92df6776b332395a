#include "model/qmFieldList.h"

#include <utility>

#include "base/Exception.h"

namespace quillmar {

void TqmFieldList::Check(int index, int limit) const {
  if (index < 0 || index >= limit)
    throw EQuillmarError("List index out of bounds (" + std::to_string(index) + ")");
}

TqmField& TqmFieldList::operator[](int index) {
  Check(index, Count());
  return *items_[static_cast<size_t>(index)];
}

const TqmField& TqmFieldList::operator[](int index) const {
  Check(index, Count());
  return *items_[static_cast<size_t>(index)];
}

TqmField& TqmFieldList::Add(std::unique_ptr<TqmField> field) {
  if (!field) throw EQuillmarError("A field list cannot hold an empty field");
  items_.push_back(std::move(field));
  return *items_.back();
}

TqmField& TqmFieldList::Insert(int index, std::unique_ptr<TqmField> field) {
  Check(index, Count() + 1);
  if (!field) throw EQuillmarError("A field list cannot hold an empty field");
  auto it = items_.insert(items_.begin() + index, std::move(field));
  return **it;
}

void TqmFieldList::Delete(int index) {
  Check(index, Count());
  items_.erase(items_.begin() + index);
}

std::unique_ptr<TqmField> TqmFieldList::Extract(int index) {
  Check(index, Count());
  std::unique_ptr<TqmField> f = std::move(items_[static_cast<size_t>(index)]);
  items_.erase(items_.begin() + index);
  return f;
}

void TqmFieldList::Exchange(int a, int b) {
  Check(a, Count());
  Check(b, Count());
  std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
}

}  // namespace quillmar
