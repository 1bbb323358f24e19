#include "sweepwell/disk_remover.h"

#include "platform/file_remove.h"

bool CDiskRemover::Protects(const platform::FileRef& file) {
  std::lock_guard lock(m_trashMutex);
  return m_trash.Holds(file);
}

bool CDiskRemover::Remove(const platform::FileRef& file, platform::FileFailure* failure) {
  if (m_bPermanently) return platform::RemoveFile(file, failure);
  std::lock_guard lock(m_trashMutex);
  return m_trash.MoveToTrash(file, failure);
}
