#include "platform/windows/file_operation.h"

namespace platform {

HRESULT AnswerBeforeDelete(DWORD flags) {
  return (flags & TSF_DELETE_RECYCLE_IF_POSSIBLE) ? S_OK : E_ABORT;
}

HRESULT RecycleOnlySink::QueryInterface(REFIID iid, void** object) {
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IFileOperationProgressSink)) {
    *object = static_cast<IFileOperationProgressSink*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

// A failure here cancels this deletion and every one after it, so nothing else may be tried.
HRESULT RecycleOnlySink::PreDeleteItem(DWORD flags, IShellItem* /*item*/) {
  asked_ = true;
  HRESULT answer = AnswerBeforeDelete(flags);
  if (FAILED(answer)) kept_ = true;
  return answer;
}

// `recycled` is the item now in the Recycle Bin, null when the item was fully deleted.
HRESULT RecycleOnlySink::PostDeleteItem(DWORD /*flags*/, IShellItem* /*item*/, HRESULT result,
                                        IShellItem* recycled) {
  reported_ = true;
  delete_result_ = result;
  if (SUCCEEDED(result) && recycled == nullptr) deleted_for_good_ = true;
  return S_OK;
}

FileOperationOutcome RecycleWithFileOperation(const wchar_t* path,
                                              IFileOperationProgressSink* sink) {
  FileOperationOutcome outcome;
  IFileOperation* operation = nullptr;
  outcome.result =
      CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&operation));
  if (FAILED(outcome.result)) {
    outcome.unavailable = true;
    return outcome;
  }
  // FOF_NO_UI answers every question with yes, so a file too large for the bin would be
  // deleted for good: the sink is what keeps it.
  HRESULT result = operation->SetOperationFlags(FOF_ALLOWUNDO | FOF_NO_UI | FOFX_RECYCLEONDELETE |
                                                FOFX_EARLYFAILURE);
  IShellItem* item = nullptr;
  if (SUCCEEDED(result)) {
    result = SHCreateItemFromParsingName(path, nullptr, IID_PPV_ARGS(&item));
  }
  if (SUCCEEDED(result)) result = operation->DeleteItem(item, sink);
  if (FAILED(result)) {
    outcome.unavailable = result == E_NOTIMPL;
  } else {
    // Whatever it returns, the shell may have acted by now.
    result = operation->PerformOperations();
    BOOL any = FALSE;
    if (SUCCEEDED(operation->GetAnyOperationsAborted(&any))) outcome.aborted = any;
  }
  outcome.result = result;
  if (item != nullptr) item->Release();
  operation->Release();
  return outcome;
}

}  // namespace platform
