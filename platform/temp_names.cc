#include "platform/temp_names.h"

#include <mutex>
#include <set>

namespace platform {
namespace {

std::mutex g_mutex;
std::set<std::string, std::less<>>* g_names = new std::set<std::string, std::less<>>;

}  // namespace

void NoteOwnTempName(std::string_view name) {
  std::lock_guard lock(g_mutex);
  g_names->emplace(name);
}

bool IsOwnTempName(std::string_view name) {
  std::lock_guard lock(g_mutex);
  return g_names->contains(name);
}

}  // namespace platform
