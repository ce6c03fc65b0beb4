// A dispatch event sink for a hosted control. The control's default source interface is found
// at advise time (IProvideClassInfo2); events are routed through a static table of
// {control id, DISPID, handler} entries that ends with an all-zero entry.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

struct DispEventEntry {
  UINT control_id;
  DISPID dispid;
  // owner: the object the table belongs to; params: the event's arguments as the control sent them.
  HRESULT (*handler)(void* owner, DISPPARAMS* params);
};

class DispEventSink final : public IDispatch {
 public:
  // Connects a new sink for `control_id`'s entries of `map` to `control`. On success *out holds
  // the sink (one reference, owned by the caller until Unadvise).
  static HRESULT Advise(IUnknown* control, UINT control_id, const DispEventEntry* map, void* owner,
                        DispEventSink** out);
  // Disconnects (safe twice) and drops the caller's reference.
  void Unadvise();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  // IDispatch: no type information; only Invoke does anything.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

 private:
  DispEventSink(UINT control_id, const DispEventEntry* map, void* owner)
      : control_id_(control_id), map_(map), owner_(owner) {}
  ~DispEventSink() = default;

  LONG refs_ = 1;
  UINT control_id_;
  const DispEventEntry* map_;
  void* owner_;
  IID source_iid_ = IID_NULL;
  IConnectionPoint* point_ = nullptr;
  DWORD cookie_ = 0;
};

// Reads argument `index` (0 = the first the event declares) of an event as a 32-bit integer.
HRESULT DispEventArgLong(const DISPPARAMS* params, UINT index, long* out);
