#include "platform/dir_listing.h"

namespace platform {

void DirListing::Clear() {
  names_.clear();
  entries_.clear();
}

void DirListing::Add(std::string_view name, EntryType type) {
  entries_.push_back(
      {static_cast<uint32_t>(names_.size()), static_cast<uint32_t>(name.size()), type});
  names_.append(name);
}

std::string_view DirListing::name(size_t i) const {
  return std::string_view(names_).substr(entries_[i].offset, entries_[i].length);
}

}  // namespace platform
