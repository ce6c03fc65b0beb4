#include "pictor.h"

#include <commctrl.h>
#include <commoncontrols.h>
#include <shellapi.h>
#include <shldisp.h>

int nPictorDll = 0;

CPictorDll::CPictorDll() = default;

CPictorDll& CPictorDll::operator=(const CPictorDll&)
{
    return *this;
}

// The exported constructor entry. A caller built with MSVC takes the object's address back
// from a constructor (in EAX/RAX); a GCC constructor returns nothing, so the .def binds the
// constructor's decorated name to this member function, which has the same calling convention.
struct CPictorDllConstructor {
    CPictorDllConstructor* Construct();
};

CPictorDllConstructor* CPictorDllConstructor::Construct()
{
    return this;
}

namespace {

constexpr int kExtraLargeList = 2;  // SHIL_EXTRALARGE (48x48), not SHIL_JUMBO
constexpr WORD kGetImageListOrdinal = 727;

using GetImageListFn = HRESULT(WINAPI*)(int, REFIID, void**);

// Older shells export SHGetImageList by ordinal only.
GetImageListFn image_list_function()
{
    HMODULE shell = GetModuleHandleW(L"shell32.dll");
    if (!shell)
        return nullptr;
    return reinterpret_cast<GetImageListFn>(
        reinterpret_cast<void*>(GetProcAddress(shell, MAKEINTRESOURCEA(kGetImageListOrdinal))));
}

}  // namespace

extern "C" int __cdecl GetMyDllVerion(void)
{
    return 1234;
}

extern "C" HICON __cdecl getJumbIcon(const wchar_t* path)
{
    // A path the shell cannot resolve leaves the index at 0: the list's first icon is the answer.
    SHFILEINFOW info = {};
    SHGetFileInfoW(path, 0, &info, sizeof info, SHGFI_SYSICONINDEX);

    GetImageListFn get_image_list = image_list_function();
    if (!get_image_list)
        return nullptr;
    IImageList* list = nullptr;
    if (get_image_list(kExtraLargeList, __uuidof(IImageList), reinterpret_cast<void**>(&list)) != S_OK
        || !list)
        return nullptr;
    HICON icon = nullptr;
    const HRESULT hr = list->GetIcon(info.iIcon, ILD_TRANSPARENT, &icon);
    list->Release();
    return hr == S_OK ? icon : nullptr;
}

extern "C" void __cdecl ToggleDesktop(void)
{
    // On a thread already in another apartment this fails, and then the count is not ours to lower.
    const HRESULT init = CoInitialize(nullptr);
    IDispatch* shell = nullptr;
    const DWORD context = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
    if (SUCCEEDED(CoCreateInstance(__uuidof(Shell), nullptr, context, __uuidof(IDispatch),
                                   reinterpret_cast<void**>(&shell)))
        && shell) {
        // The command lives on IShellDispatch4; the IDispatch pointer need not be that interface.
        IShellDispatch4* desktop = nullptr;
        if (SUCCEEDED(shell->QueryInterface(__uuidof(IShellDispatch4), reinterpret_cast<void**>(&desktop)))
            && desktop) {
            desktop->ToggleDesktop();
            desktop->Release();
        }
        shell->Release();
    }
    if (init == S_OK || init == S_FALSE)
        CoUninitialize();
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
