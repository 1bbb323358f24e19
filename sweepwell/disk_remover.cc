#include "sweepwell/disk_remover.h"

#include "platform/file_remove.h"

bool CDiskRemover::Protects(const std::string& path) {
  std::lock_guard lock(m_trashMutex);
  return m_trash.Holds(path);
}

bool CDiskRemover::Remove(const std::string& path, platform::FileFailure* failure) {
  if (m_bPermanently) return platform::RemoveFile(path, failure);
  std::lock_guard lock(m_trashMutex);
  return m_trash.MoveToTrash(path, failure);
}
