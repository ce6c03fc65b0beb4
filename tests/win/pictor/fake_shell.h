// A stand-in for the shell application object, registered for the calling apartment only.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

struct fake_shell_record {
    LONG toggles;         // ToggleDesktop reached through IShellDispatch4
    LONG misplaced_calls; // a method called on the IDispatch pointer beyond IDispatch's own slots
    LONG live_objects;    // objects not yet released
};

extern struct fake_shell_record fake_shell;

// Registers the stand-in's class object under the shell's class id in the calling apartment.
HRESULT fake_shell_register(DWORD* cookie);
void fake_shell_revoke(DWORD cookie);

#ifdef __cplusplus
}
#endif
