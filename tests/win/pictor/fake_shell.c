#include "fake_shell.h"

#include <shldisp.h>

struct fake_shell_record fake_shell;

/* The object's IDispatch is a separate interface with a vtable as long as IShellDispatch4's:
   every slot past IDispatch's own records a misplaced call instead of jumping into the unknown. */
enum { dispatch_slots = sizeof(IDispatchVtbl) / sizeof(void*),
       shell_slots = sizeof(IShellDispatch4Vtbl) / sizeof(void*) };

typedef struct {
    IDispatch dispatch;
    IShellDispatch4 shell;
    LONG refs;
} fake_object;

static fake_object* from_dispatch(IDispatch* iface) { return CONTAINING_RECORD(iface, fake_object, dispatch); }
static fake_object* from_shell(IShellDispatch4* iface) { return CONTAINING_RECORD(iface, fake_object, shell); }

/* x64 callers clean the stack, so one catch-all serves every signature. */
static HRESULT STDMETHODCALLTYPE misplaced(void* self)
{
    (void)self;
    InterlockedIncrement(&fake_shell.misplaced_calls);
    return E_UNEXPECTED;
}

static HRESULT object_query(fake_object* obj, REFIID riid, void** out)
{
    if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch))
        *out = &obj->dispatch;
    else if (IsEqualIID(riid, &IID_IShellDispatch4))
        *out = &obj->shell;
    else {
        *out = NULL;
        return E_NOINTERFACE;
    }
    InterlockedIncrement(&obj->refs);
    return S_OK;
}

static ULONG object_release(fake_object* obj)
{
    LONG refs = InterlockedDecrement(&obj->refs);
    if (refs == 0) {
        InterlockedDecrement(&fake_shell.live_objects);
        HeapFree(GetProcessHeap(), 0, obj);
    }
    return (ULONG)refs;
}

static HRESULT STDMETHODCALLTYPE dispatch_query(IDispatch* iface, REFIID riid, void** out)
{
    return object_query(from_dispatch(iface), riid, out);
}
static ULONG STDMETHODCALLTYPE dispatch_addref(IDispatch* iface)
{
    return (ULONG)InterlockedIncrement(&from_dispatch(iface)->refs);
}
static ULONG STDMETHODCALLTYPE dispatch_release(IDispatch* iface)
{
    return object_release(from_dispatch(iface));
}

static HRESULT STDMETHODCALLTYPE shell_query(IShellDispatch4* iface, REFIID riid, void** out)
{
    return object_query(from_shell(iface), riid, out);
}
static ULONG STDMETHODCALLTYPE shell_addref(IShellDispatch4* iface)
{
    return (ULONG)InterlockedIncrement(&from_shell(iface)->refs);
}
static ULONG STDMETHODCALLTYPE shell_release(IShellDispatch4* iface)
{
    return object_release(from_shell(iface));
}
static HRESULT STDMETHODCALLTYPE shell_toggle(IShellDispatch4* iface)
{
    (void)iface;
    InterlockedIncrement(&fake_shell.toggles);
    return S_OK;
}

static union {
    IDispatchVtbl named;
    void* slots[shell_slots];
} dispatch_vtbl;

static union {
    IShellDispatch4Vtbl named;
    void* slots[shell_slots];
} shell_vtbl;

static void fill_vtables(void)
{
    for (int i = 0; i < shell_slots; ++i) {
        dispatch_vtbl.slots[i] = (void*)misplaced;
        shell_vtbl.slots[i] = (void*)misplaced;
    }
    dispatch_vtbl.named.QueryInterface = dispatch_query;
    dispatch_vtbl.named.AddRef = dispatch_addref;
    dispatch_vtbl.named.Release = dispatch_release;
    shell_vtbl.named.QueryInterface = shell_query;
    shell_vtbl.named.AddRef = shell_addref;
    shell_vtbl.named.Release = shell_release;
    shell_vtbl.named.ToggleDesktop = shell_toggle;
}

static HRESULT STDMETHODCALLTYPE factory_query(IClassFactory* iface, REFIID riid, void** out)
{
    if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IClassFactory)) {
        *out = iface;
        return S_OK;
    }
    *out = NULL;
    return E_NOINTERFACE;
}
static ULONG STDMETHODCALLTYPE factory_addref(IClassFactory* iface) { (void)iface; return 2; }
static ULONG STDMETHODCALLTYPE factory_release(IClassFactory* iface) { (void)iface; return 1; }

static HRESULT STDMETHODCALLTYPE factory_create(IClassFactory* iface, IUnknown* outer, REFIID riid, void** out)
{
    (void)iface;
    *out = NULL;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    fake_object* obj = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *obj);
    if (!obj)
        return E_OUTOFMEMORY;
    obj->dispatch.lpVtbl = &dispatch_vtbl.named;
    obj->shell.lpVtbl = &shell_vtbl.named;
    obj->refs = 1;
    InterlockedIncrement(&fake_shell.live_objects);
    HRESULT hr = object_query(obj, riid, out);
    object_release(obj);
    return hr;
}
static HRESULT STDMETHODCALLTYPE factory_lock(IClassFactory* iface, BOOL lock)
{
    (void)iface;
    (void)lock;
    return S_OK;
}

static IClassFactoryVtbl factory_vtbl = {
    factory_query, factory_addref, factory_release, factory_create, factory_lock,
};
static IClassFactory factory = { &factory_vtbl };

HRESULT fake_shell_register(DWORD* cookie)
{
    fill_vtables();
    return CoRegisterClassObject(&CLSID_Shell, (IUnknown*)&factory, CLSCTX_INPROC_SERVER,
                                 REGCLS_MULTIPLEUSE, cookie);
}

void fake_shell_revoke(DWORD cookie)
{
    CoRevokeClassObject(cookie);
}
