#include "connector/host/ax_host.h"

#include <ocidl.h>

#include <cstring>
#include <new>

namespace {

// The control's site: one object for the client site, in-place site and in-place frame, one
// reference count. The host window holds one reference for its lifetime.
class AxSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
 public:
  explicit AxSite(HWND window) : window_(window) {}

  HRESULT Create(const AxHostCreateInfo& info);
  void Teardown();
  HRESULT GetControl(REFIID iid, void** out) {
    if (!control_) return E_FAIL;
    return control_->QueryInterface(iid, out);
  }
  void Resize();
  void FocusControl();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
      *out = static_cast<IOleInPlaceFrame*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** out) override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the in-place site and the frame)
  STDMETHODIMP GetWindow(HWND* out) override {
    if (!out) return E_POINTER;
    *out = window_;
    return window_ ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override {
    in_place_ = true;
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, RECT* position,
                                RECT* clip, OLEINPLACEFRAMEINFO* info) override {
    if (!frame || !document || !position || !clip || !info) return E_POINTER;
    *frame = this;
    AddRef();
    *document = nullptr;
    GetClientRect(window_, position);
    *clip = *position;
    if (info->cb >= sizeof(OLEINPLACEFRAMEINFO)) {
      info->fMDIApp = FALSE;
      info->hwndFrame = GetAncestor(window_, GA_ROOT);
      info->haccel = nullptr;
      info->cAccelEntries = 0;
    }
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override {
    in_place_ = false;
    return S_OK;
  }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(const RECT* rect) override {
    if (!rect) return E_POINTER;
    IOleInPlaceObject* object = nullptr;
    if (control_ && SUCCEEDED(control_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&object)))) {
      object->SetObjectRects(rect, rect);
      object->Release();
    }
    return S_OK;
  }

  // IOleInPlaceUIWindow
  STDMETHODIMP GetBorder(RECT*) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }

  // IOleInPlaceFrame
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  ~AxSite() { Teardown(); }

  HWND window_;
  LONG refs_ = 1;
  IUnknown* control_ = nullptr;
  IOleObject* object_ = nullptr;
  bool in_place_ = false;
};

HRESULT LoadState(IUnknown* control, const AxHostCreateInfo& info) {
  IPersistStreamInit* persist = nullptr;
  if (FAILED(control->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)))) {
    return S_OK;  // a control without a stream state needs no initialisation
  }
  HRESULT hr = S_OK;
  if (!info.init_data) {
    hr = persist->InitNew();
  } else {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, info.init_size ? info.init_size : 1);
    void* bytes = memory ? GlobalLock(memory) : nullptr;
    if (!bytes) {
      if (memory) GlobalFree(memory);
      hr = E_OUTOFMEMORY;
    } else {
      std::memcpy(bytes, info.init_data, info.init_size);
      GlobalUnlock(memory);
      IStream* stream = nullptr;
      hr = CreateStreamOnHGlobal(memory, TRUE, &stream);
      if (SUCCEEDED(hr)) {
        hr = persist->Load(stream);
        stream->Release();
      } else {
        GlobalFree(memory);
      }
    }
  }
  persist->Release();
  return hr;
}

HRESULT AxSite::Create(const AxHostCreateInfo& info) {
  if (FAILED(info.clsid_result)) return info.clsid_result;
  HRESULT hr = CoCreateInstance(info.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&control_));
  if (FAILED(hr)) {
    control_ = nullptr;
    return hr;
  }
  hr = control_->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object_));
  if (FAILED(hr)) {
    object_ = nullptr;
    Teardown();
    return hr;
  }
  // The site comes first so the control can read ambient state while it loads.
  object_->SetClientSite(this);
  hr = LoadState(control_, info);
  if (FAILED(hr)) {
    Teardown();
    return hr;
  }
  RECT rect;
  GetClientRect(window_, &rect);
  hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, window_, &rect);
  if (FAILED(hr)) {
    Teardown();
    return hr;
  }
  return S_OK;
}

// Safe to run twice: everything it releases is cleared.
void AxSite::Teardown() {
  if (object_) {
    if (in_place_) {
      IOleInPlaceObject* in_place = nullptr;
      if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&in_place)))) {
        in_place->InPlaceDeactivate();
        in_place->Release();
      }
      in_place_ = false;
    }
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
    object_->Release();
    object_ = nullptr;
  }
  if (control_) {
    control_->Release();
    control_ = nullptr;
  }
}

void AxSite::Resize() {
  RECT rect;
  GetClientRect(window_, &rect);
  OnPosRectChange(&rect);
}

void AxSite::FocusControl() {
  IOleInPlaceObject* object = nullptr;
  if (!control_ || FAILED(control_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&object)))) return;
  HWND inner = nullptr;
  if (SUCCEEDED(object->GetWindow(&inner)) && inner && inner != window_) SetFocus(inner);
  object->Release();
}

AxSite* SiteOf(HWND window) { return reinterpret_cast<AxSite*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

bool IsHost(HWND window) {
  wchar_t name[64] = {};
  return window && GetClassNameW(window, name, 64) > 0 && lstrcmpiW(name, kAxHostClass) == 0;
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: {
      // The dialog manager hands the item's creation data over as: a WORD count, then the bytes.
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      const auto* data = static_cast<const BYTE*>(create->lpCreateParams);
      AxHostCreateInfo* info = nullptr;
      WORD count = 0;
      if (data) std::memcpy(&count, data, sizeof count);
      if (count != sizeof info) return 0;  // a host without a control to create stays empty
      std::memcpy(&info, data + sizeof count, sizeof info);
      auto* site = new (std::nothrow) AxSite(window);
      if (!site) {
        info->result = E_OUTOFMEMORY;
        return -1;
      }
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(site));
      info->result = site->Create(*info);
      if (FAILED(info->result)) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        site->Release();
        return -1;
      }
      return 0;
    }
    case WM_SIZE:
      if (AxSite* site = SiteOf(window)) site->Resize();
      return 0;
    case WM_SETFOCUS:
      if (AxSite* site = SiteOf(window)) site->FocusControl();
      return 0;
    case WM_DESTROY:
      if (AxSite* site = SiteOf(window)) site->Teardown();
      return 0;
    case WM_NCDESTROY:
      if (AxSite* site = SiteOf(window)) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        site->Release();
      }
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

bool AxHostRegister(HINSTANCE instance) {
  WNDCLASSEXW existing = {};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, kAxHostClass, &existing)) return true;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = HostProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kAxHostClass;
  return RegisterClassExW(&wc) != 0;
}

HRESULT AxHostGetControl(HWND host, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsHost(host)) return E_INVALIDARG;
  AxSite* site = SiteOf(host);
  return site ? site->GetControl(iid, out) : E_FAIL;
}
