// Pictor: the icon utility library the parent engine loads. It keeps no state.
#pragma once

#include <windows.h>

// The DLL's exports are bound by its .def files; consumers import them.
#ifdef PICTOR_BUILD
#define PICTOR_API
#else
#define PICTOR_API __declspec(dllimport)
#endif

// Exported for the parent's sake; it has no data and its members do nothing.
class PICTOR_API CPictorDll {
public:
    CPictorDll();
    CPictorDll& operator=(const CPictorDll&);
};

// Exported; nothing in the library reads or writes it.
extern PICTOR_API int nPictorDll;

extern "C" {
PICTOR_API int __cdecl GetMyDllVerion(void);
// Shows the desktop or restores the windows, as the shell's own command does.
PICTOR_API void __cdecl ToggleDesktop(void);
// The file's icon from the shell's extra-large image list; the caller owns it (DestroyIcon).
PICTOR_API HICON __cdecl getJumbIcon(const wchar_t* path);
}
