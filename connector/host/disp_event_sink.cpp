#include "connector/host/disp_event_sink.h"

#include <ocidl.h>
#include <oleauto.h>

#include <new>

HRESULT DispEventSink::Advise(IUnknown* control, UINT control_id, const DispEventEntry* map, void* owner,
                              DispEventSink** out) {
  if (!control || !map || !out) return E_POINTER;
  *out = nullptr;
  IProvideClassInfo2* info = nullptr;
  HRESULT hr = control->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&info));
  if (FAILED(hr)) return hr;
  IID source = IID_NULL;
  hr = info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source);
  info->Release();
  if (FAILED(hr)) return hr;

  IConnectionPointContainer* container = nullptr;
  hr = control->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
  if (FAILED(hr)) return hr;
  IConnectionPoint* point = nullptr;
  hr = container->FindConnectionPoint(source, &point);
  container->Release();
  if (FAILED(hr)) return hr;

  auto* sink = new (std::nothrow) DispEventSink(control_id, map, owner);
  if (!sink) {
    point->Release();
    return E_OUTOFMEMORY;
  }
  sink->source_iid_ = source;
  hr = point->Advise(static_cast<IDispatch*>(sink), &sink->cookie_);
  if (FAILED(hr)) {
    point->Release();
    sink->Release();
    return hr;
  }
  sink->point_ = point;
  *out = sink;
  return S_OK;
}

void DispEventSink::Unadvise() {
  if (point_) {
    IConnectionPoint* point = point_;
    point_ = nullptr;
    point->Unadvise(cookie_);
    point->Release();
    cookie_ = 0;
  }
  Release();
}

STDMETHODIMP DispEventSink::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch || (iid == source_iid_ && iid != IID_NULL)) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) DispEventSink::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) DispEventSink::Release() {
  ULONG left = InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP DispEventSink::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP DispEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP DispEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

STDMETHODIMP DispEventSink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) {
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  for (const DispEventEntry* entry = map_; entry->control_id != 0; ++entry) {
    if (entry->control_id == control_id_ && entry->dispid == dispid) {
      // The sink may be the last thing holding itself while the handler ends the session.
      AddRef();
      HRESULT hr = entry->handler ? entry->handler(owner_, params ? params : &none) : S_OK;
      Release();
      return hr;
    }
  }
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT DispEventArgLong(const DISPPARAMS* params, UINT index, long* out) {
  if (!params || !out) return E_POINTER;
  if (index >= params->cArgs) return DISP_E_BADPARAMCOUNT;
  // Arguments arrive last first.
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = VariantChangeType(&value, &params->rgvarg[params->cArgs - 1 - index], 0, VT_I4);
  if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
  *out = value.lVal;
  return S_OK;
}
