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
// noting that it did. It lives on its caller's stack: counting references frees nothing.
class RecycleOnlySink : public IFileOperationProgressSink {
 public:
  bool KeptFromDestruction() const { return kept_; }

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
  HRESULT STDMETHODCALLTYPE PostDeleteItem(DWORD, IShellItem*, HRESULT, IShellItem*) override {
    return S_OK;
  }
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
  bool kept_ = false;
};

// Hands the file at `path` (the plain form, shorter than MAX_PATH) to IFileOperation to be
// recycled silently, with `sink` asked before the deletion; `aborted` tells whether the shell
// left any operation undone. E_NOTIMPL or REGDB_E_CLASSNOTREG: the system has no working
// IFileOperation (Wine stubs it), and nothing was done. COM must be initialised on the thread.
HRESULT RecycleWithFileOperation(const wchar_t* path, IFileOperationProgressSink* sink,
                                 BOOL* aborted);

// True when RecycleWithFileOperation's result says the system could not perform it at all.
bool FileOperationMissing(HRESULT result);

}  // namespace platform
