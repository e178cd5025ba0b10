// The dependency list: every include file opened, in opening order, repeats
// included. Each distinct path is kept once; an opening costs one index, so
// an include tree that opens the same few files millions of times stays
// small.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zrmackv {

class DependencyList {
 public:
  void push_back(std::string_view path) {
    auto found = index_of_.find(path);
    std::uint32_t index;
    if (found != index_of_.end()) {
      index = found->second;
    } else {
      index = static_cast<std::uint32_t>(paths_.size());
      paths_.emplace_back(path);
      index_of_.emplace(paths_.back(), index);  // the key views the stored path
    }
    openings_.push_back(index);
  }

  bool empty() const { return openings_.empty(); }
  std::size_t size() const { return openings_.size(); }
  std::size_t distinct_paths() const { return paths_.size(); }
  // The distinct paths in the order of their first opening.
  std::vector<std::string> first_openings() const { return {paths_.begin(), paths_.end()}; }
  const std::string& operator[](std::size_t i) const { return paths_[openings_[i]]; }

  // Iterates the openings in order, giving each one's path.
  class const_iterator {
   public:
    const_iterator(const DependencyList* list, std::size_t i) : list_(list), i_(i) {}
    const std::string& operator*() const { return (*list_)[i_]; }
    const_iterator& operator++() {
      ++i_;
      return *this;
    }
    bool operator!=(const const_iterator& other) const { return i_ != other.i_; }

   private:
    const DependencyList* list_;
    std::size_t i_;
  };
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, openings_.size()}; }

 private:
  std::deque<std::string> paths_;  // a deque never moves its elements
  std::unordered_map<std::string_view, std::uint32_t> index_of_;
  std::vector<std::uint32_t> openings_;
};

}  // namespace zrmackv
