// An ordered array that owns its elements (the manner of MFC's CObArray with
// delete on RemoveAll): emptying or destroying it deletes them.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace meldrix {

template <class T>
class COwningArray {
 public:
  using Items = std::vector<std::unique_ptr<T>>;

  COwningArray() = default;
  COwningArray(COwningArray&&) noexcept = default;
  COwningArray& operator=(COwningArray&&) noexcept = default;

  std::size_t GetSize() const { return items_.size(); }
  bool IsEmpty() const { return items_.empty(); }
  T& operator[](std::size_t i) { return *items_.at(i); }
  const T& operator[](std::size_t i) const { return *items_.at(i); }

  T& Add(std::unique_ptr<T> item) {
    items_.push_back(std::move(item));
    return *items_.back();
  }
  template <class... Args>
  T& AddNew(Args&&... args) {
    return Add(std::make_unique<T>(std::forward<Args>(args)...));
  }
  void InsertAt(std::size_t i, std::unique_ptr<T> item) {
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(i), std::move(item));
  }
  std::unique_ptr<T> Detach(std::size_t i) {
    auto item = std::move(items_.at(i));
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
    return item;
  }
  void RemoveAt(std::size_t i) { Detach(i); }
  void RemoveAll() { items_.clear(); }

  typename Items::iterator begin() { return items_.begin(); }
  typename Items::iterator end() { return items_.end(); }
  typename Items::const_iterator begin() const { return items_.begin(); }
  typename Items::const_iterator end() const { return items_.end(); }

 protected:
  Items items_;
};

}  // namespace meldrix
