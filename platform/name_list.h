// A list of names (byte strings) held in one buffer: a name costs its bytes
// and one offset, where a std::string of its own costs 32 bytes at least, so
// that a long list of short names (an input list of millions of lines) takes
// a small multiple of its own size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

class NameList {
 public:
  NameList() = default;
  // From the names a window or a test holds.
  NameList(const std::vector<std::string>& names) {  // NOLINT: converts on purpose
    for (const std::string& name : names) push_back(name);
  }
  NameList(std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) push_back(name);
  }

  void push_back(std::string_view name) {
    bytes_.append(name);
    ends_.push_back(bytes_.size());
  }
  // Gives back the room that growing left unused.
  void shrink_to_fit() {
    bytes_.shrink_to_fit();
    ends_.shrink_to_fit();
  }

  size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  std::string_view operator[](size_t i) const {
    const size_t from = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(bytes_).substr(from, ends_[i] - from);
  }
  std::string_view front() const { return (*this)[0]; }
  // The bytes the list holds, room not yet used included.
  size_t bytesHeld() const { return bytes_.capacity() + ends_.capacity() * sizeof(uint64_t); }

  class Iterator {
   public:
    Iterator(const NameList& list, size_t i) : list_(&list), i_(i) {}
    std::string_view operator*() const { return (*list_)[i_]; }
    Iterator& operator++() {
      ++i_;
      return *this;
    }
    bool operator==(const Iterator& other) const { return i_ == other.i_; }

   private:
    const NameList* list_;
    size_t i_;
  };
  Iterator begin() const { return {*this, 0}; }
  Iterator end() const { return {*this, size()}; }

  friend bool operator==(const NameList& a, const NameList& b) {
    return a.bytes_ == b.bytes_ && a.ends_ == b.ends_;
  }

 private:
  std::string bytes_;
  std::vector<uint64_t> ends_;  // where each name ends in bytes_
};
