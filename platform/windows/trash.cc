#include "platform/trash.h"

// The Recycle Bin is not reached yet: every file asked to go there stays where it is.

namespace platform {

struct Trash::State {};

Trash::Trash() : state_(std::make_unique<State>()) {}

Trash::Trash(std::string /*data_home*/, unsigned /*uid*/) : state_(std::make_unique<State>()) {}

Trash::~Trash() = default;

bool Trash::Holds(const std::string& /*path*/) { return false; }

bool Trash::MoveToTrash(const std::string& /*path*/, FileFailure* failure) {
  failure->what = "cannot move to the Recycle Bin";
  failure->reason = "this build cannot use the Recycle Bin yet; run with -d to delete for good";
  return false;
}

}  // namespace platform
