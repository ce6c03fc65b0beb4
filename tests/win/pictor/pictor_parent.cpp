// A parent engine in miniature: linked against Pictor at load time, uses every export once.
// Exit code 0 when every check holds; each failure is printed.
#include "pictor.h"

#include <cstdio>

namespace {

int failures = 0;

void expect(bool ok, const char* what)
{
    if (!ok) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

}  // namespace

int main()
{
    expect(GetMyDllVerion() == 1234, "GetMyDllVerion() == 1234");
    expect(nPictorDll == 0, "nPictorDll == 0");

    CPictorDll first;
    CPictorDll second;
    expect(&(first = second) == &first, "copy assignment returns the object");

    wchar_t folder[MAX_PATH] = {};
    GetWindowsDirectoryW(folder, MAX_PATH);
    HICON icon = getJumbIcon(folder);
    expect(icon != nullptr, "getJumbIcon(windows folder) gives an icon");
    if (icon)
        expect(DestroyIcon(icon) != FALSE, "the caller can destroy the icon");

    ToggleDesktop();

    std::printf("%s\n", failures ? "parent: FAILED" : "parent: all exports reached");
    return failures ? 1 : 0;
}
