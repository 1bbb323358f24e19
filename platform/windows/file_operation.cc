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

HRESULT RecycleOnlySink::PreDeleteItem(DWORD flags, IShellItem* /*item*/) {
  HRESULT answer = AnswerBeforeDelete(flags);
  if (FAILED(answer)) kept_ = true;
  return answer;
}

HRESULT RecycleWithFileOperation(const wchar_t* path, IFileOperationProgressSink* sink,
                                 BOOL* aborted) {
  *aborted = FALSE;
  IFileOperation* operation = nullptr;
  HRESULT result =
      CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&operation));
  if (FAILED(result)) return result;
  // FOF_NO_UI answers every question with yes, so a file too large for the bin would be
  // deleted for good: the sink is what keeps it.
  result = operation->SetOperationFlags(FOF_ALLOWUNDO | FOF_NO_UI | FOFX_RECYCLEONDELETE |
                                        FOFX_EARLYFAILURE);
  IShellItem* item = nullptr;
  if (SUCCEEDED(result)) {
    result = SHCreateItemFromParsingName(path, nullptr, IID_PPV_ARGS(&item));
  }
  if (SUCCEEDED(result)) result = operation->DeleteItem(item, sink);
  if (SUCCEEDED(result)) {
    result = operation->PerformOperations();
    BOOL any = FALSE;
    if (SUCCEEDED(operation->GetAnyOperationsAborted(&any))) *aborted = any;
  }
  if (item != nullptr) item->Release();
  operation->Release();
  return result;
}

bool FileOperationMissing(HRESULT result) {
  return result == E_NOTIMPL || result == REGDB_E_CLASSNOTREG || result == E_NOINTERFACE;
}

}  // namespace platform
