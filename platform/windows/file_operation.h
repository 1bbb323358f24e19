// Recycling one file through the shell's IFileOperation, which, unlike SHFileOperationW, tells
// a progress sink before each deletion whether the item goes to the Recycle Bin or is deleted
// for good (as the shell does, without a word, with a file it cannot recycle).
#pragma once

// <windows.h> comes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <shobjidl.h>
// clang-format on

namespace platform {

// The answer to the shell's PreDeleteItem: go on only when the item is to be recycled
// (TSF_DELETE_RECYCLE_IF_POSSIBLE); any other deletion is for good, so the item is kept.
HRESULT AnswerBeforeDelete(DWORD flags);

// A progress sink that lets the shell recycle an item and keeps every item it would destroy,
// noting that it did, and what the shell says it did with the item. It lives on its caller's
// stack: counting references frees nothing.
class RecycleOnlySink : public IFileOperationProgressSink {
 public:
  // The shell asked before a deletion: from then on it may have acted.
  bool Asked() const { return asked_; }
  bool KeptFromDestruction() const { return kept_; }
  // The shell reported the deletion; `DeleteResult` is its outcome.
  bool Reported() const { return reported_; }
  HRESULT DeleteResult() const { return delete_result_; }
  // Deleted, but with nothing put in the Recycle Bin: the flag PreDeleteItem saw only asked.
  bool DeletedForGood() const { return deleted_for_good_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE PreDeleteItem(DWORD flags, IShellItem* item) override;

  HRESULT STDMETHODCALLTYPE StartOperations() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE FinishOperations(HRESULT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PreRenameItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PostRenameItem(DWORD, IShellItem*, LPCWSTR, HRESULT,
                                           IShellItem*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PreMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT,
                                         IShellItem*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PreCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT,
                                         IShellItem*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostDeleteItem(DWORD flags, IShellItem* item, HRESULT result,
                                           IShellItem* recycled) override;
  HRESULT STDMETHODCALLTYPE PreNewItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PostNewItem(DWORD, IShellItem*, LPCWSTR, LPCWSTR, DWORD, HRESULT,
                                        IShellItem*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE UpdateProgress(UINT, UINT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResetTimer() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PauseTimer() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResumeTimer() override { return S_OK; }

 private:
  bool asked_ = false;
  bool kept_ = false;
  bool reported_ = false;
  bool deleted_for_good_ = false;
  HRESULT delete_result_ = S_OK;
};

// What IFileOperation answered for one file.
struct FileOperationOutcome {
  HRESULT result = S_OK;
  BOOL aborted = FALSE;  // the shell left an operation undone
  // Nothing was performed: the object could not be created, or a step before
  // PerformOperations is not implemented (Wine's stubs). Only then may another way be tried.
  bool unavailable = false;
};

// Hands the file at `path` (the plain form, shorter than MAX_PATH) to IFileOperation to be
// recycled silently, with `sink` told before and after the deletion. The calling thread must be
// in a single-threaded apartment, which IFileOperation requires.
FileOperationOutcome RecycleWithFileOperation(const wchar_t* path,
                                              IFileOperationProgressSink* sink);

}  // namespace platform
