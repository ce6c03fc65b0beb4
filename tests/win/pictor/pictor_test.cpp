// Pictor loaded as the parent engine loads it: by file name, entries resolved at run time.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <commoncontrols.h>
#include <shellapi.h>
#include <shldisp.h>

#include <cctype>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fake_shell.h"

namespace {

// x64 has one calling convention, so the class members are plain functions taking `this` first.
using ConstructFn = void* (*)(void* self);
using AssignFn = void* (*)(void* self, const void* other);
using VersionFn = int(__cdecl*)();
using ToggleFn = void(__cdecl*)();
using IconFn = HICON(__cdecl*)(const wchar_t*);

struct Export {
    WORD ordinal;
    const char* name;
};

// What an MSVC-built x64 parent imports, by ordinal and by name.
constexpr Export kExports[] = {
    {1, "??0CPictorDll@@QEAA@XZ"},
    {2, "??4CPictorDll@@QEAAAEAV0@AEBV0@@Z"},
    {3, "?nPictorDll@@3HA"},
    {4, "GetMyDllVerion"},
    {5, "ToggleDesktop"},
    {6, "getJumbIcon"},
};

template <class T>
T entry(HMODULE module, const char* name)
{
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class PictorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { module_ = LoadLibraryW(L"Pictor.dll"); }
    static void TearDownTestSuite()
    {
        if (module_)
            FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(module_, nullptr) << "LoadLibraryW(Pictor.dll) failed"; }

    template <class T>
    static T get(const char* name)
    {
        T fn = entry<T>(module_, name);
        EXPECT_NE(fn, nullptr) << name;
        return fn;
    }

    static HMODULE module_;
};

HMODULE PictorTest::module_ = nullptr;

TEST_F(PictorTest, EveryExportResolvesAlikeByOrdinalAndByName)
{
    for (const Export& e : kExports) {
        FARPROC by_name = GetProcAddress(module_, e.name);
        EXPECT_NE(by_name, nullptr) << e.name;
        EXPECT_EQ(by_name, GetProcAddress(module_, MAKEINTRESOURCEA(e.ordinal))) << e.name;
    }
    EXPECT_EQ(GetProcAddress(module_, MAKEINTRESOURCEA(7)), nullptr);
}

TEST_F(PictorTest, VersionIs1234AndCounterStartsAtZero)
{
    EXPECT_EQ(get<VersionFn>("GetMyDllVerion")(), 1234);
    const int* counter = get<const int*>("?nPictorDll@@3HA");
    ASSERT_NE(counter, nullptr);
    EXPECT_EQ(*counter, 0);
}

TEST_F(PictorTest, ClassMembersHandTheObjectBackAndTouchNothing)
{
    // MSVC callers take the object's address from the constructor's result as well.
    unsigned char left[4] = {0xA5, 0xA5, 0xA5, 0xA5};
    unsigned char right[4] = {0x5A, 0x5A, 0x5A, 0x5A};
    EXPECT_EQ(get<ConstructFn>("??0CPictorDll@@QEAA@XZ")(left), left);
    EXPECT_EQ(get<AssignFn>("??4CPictorDll@@QEAAAEAV0@AEBV0@@Z")(left, right), left);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(left[i], 0xA5);
        EXPECT_EQ(right[i], 0x5A);
    }
}

// ---- getJumbIcon ----

struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> color;
    std::vector<std::uint32_t> mask;
};

std::vector<std::uint32_t> bitmap_pixels(HBITMAP bitmap, int width, int height)
{
    std::vector<std::uint32_t> pixels(static_cast<size_t>(width) * height);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    return pixels;
}

IconImage icon_image(HICON icon)
{
    IconImage image;
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return image;
    BITMAP bm = {};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    image.width = bm.bmWidth;
    image.height = bm.bmHeight;
    if (info.hbmColor)
        image.color = bitmap_pixels(info.hbmColor, image.width, image.height);
    image.mask = bitmap_pixels(info.hbmMask, image.width, image.height);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return image;
}

struct ListIcon {
    int list_width = 0;
    int list_height = 0;
    IconImage image;
};

// The icon the shell's own list of kind `list` holds at `index`, and the list's icon size.
ListIcon shell_list_icon(int list, int index)
{
    ListIcon result;
    IImageList* images = nullptr;
    if (FAILED(SHGetImageList(list, __uuidof(IImageList), reinterpret_cast<void**>(&images))) || !images)
        return result;
    images->GetIconSize(&result.list_width, &result.list_height);
    HICON icon = nullptr;
    if (SUCCEEDED(images->GetIcon(index, ILD_TRANSPARENT, &icon)) && icon) {
        result.image = icon_image(icon);
        DestroyIcon(icon);
    }
    images->Release();
    return result;
}

std::wstring windows_folder()
{
    wchar_t path[MAX_PATH] = {};
    GetWindowsDirectoryW(path, MAX_PATH);
    return path;
}

std::wstring existing_file()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

TEST_F(PictorTest, IconComesFromTheExtraLargeListAtTheShellsIndex)
{
    const auto get_icon = get<IconFn>("getJumbIcon");
    ASSERT_NE(get_icon, nullptr);
    const ListIcon jumbo = shell_list_icon(SHIL_JUMBO, 0);

    struct Case {
        std::wstring path;
        bool resolvable;
    };
    const Case cases[] = {
        {existing_file(), true},
        {windows_folder(), true},  // a folder's icon sits at another index than the list's first
        {L"Z:\\no such folder\\no such file.pictor", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "path " << std::string(c.path.begin(), c.path.end()));
        SHFILEINFOW info = {};
        const DWORD_PTR found = SHGetFileInfoW(c.path.c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX);
        EXPECT_EQ(found != 0, c.resolvable);

        HICON icon = get_icon(c.path.c_str());
        ASSERT_NE(icon, nullptr);
        const IconImage got = icon_image(icon);
        const ListIcon expected = shell_list_icon(SHIL_EXTRALARGE, info.iIcon);
        EXPECT_EQ(got.width, expected.list_width);
        EXPECT_EQ(got.height, expected.list_height);
        EXPECT_NE(got.width, jumbo.list_width);
        EXPECT_TRUE(got.color == expected.image.color) << "colour pixels differ from the list's icon";
        EXPECT_TRUE(got.mask == expected.image.mask) << "mask differs from the list's icon";
        EXPECT_TRUE(DestroyIcon(icon));
    }
    // Without this the index comparison above could not tell one icon from another.
    SHFILEINFOW folder = {};
    SHGetFileInfoW(windows_folder().c_str(), 0, &folder, sizeof folder, SHGFI_SYSICONINDEX);
    ASSERT_NE(folder.iIcon, 0);
    EXPECT_FALSE(shell_list_icon(SHIL_EXTRALARGE, folder.iIcon).image.color
                 == shell_list_icon(SHIL_EXTRALARGE, 0).image.color);
}

// ---- ToggleDesktop ----

enum class Apartment { None, Single, Multi };
enum class ShellObject { Platform, StandIn, Missing };

const char* name_of(Apartment a)
{
    return a == Apartment::None ? "no apartment" : a == Apartment::Single ? "STA" : "MTA";
}
const char* name_of(ShellObject s)
{
    return s == ShellObject::Platform ? "platform shell" : s == ShellObject::StandIn ? "stand-in" : "missing";
}

// Initialises COM in `model` and undoes it at once: S_OK when the thread had no apartment,
// S_FALSE when it is already in that one, RPC_E_CHANGED_MODE when in the other.
HRESULT probe(DWORD model)
{
    const HRESULT hr = CoInitializeEx(nullptr, model);
    if (SUCCEEDED(hr))
        CoUninitialize();
    return hr;
}

// Points the shell object's class at a server that does not exist, for as long as it lives. The
// platform's COM does not look at per-user classes, so the machine's entry is the one to hide.
// The original server is kept beside it, so a run that dies half-way is repaired by the next.
class ShellClassHidden {
public:
    ShellClassHidden()
    {
        const LSTATUS rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_);
        if (rc != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        if (!read(kSaved, original_))
            read(nullptr, original_);
        write(kSaved, original_);
        write(nullptr, L"C:\\windows\\system32\\no-such-shell-server.dll");
    }
    ~ShellClassHidden()
    {
        if (!key_)
            return;
        write(nullptr, original_);
        RegDeleteValueW(key_, kSaved);
        RegCloseKey(key_);
    }
    ShellClassHidden(const ShellClassHidden&) = delete;
    ShellClassHidden& operator=(const ShellClassHidden&) = delete;

    bool active() const { return key_ && !original_.empty(); }

private:
    static constexpr const wchar_t* kKey =
        L"Software\\Classes\\CLSID\\{13709620-C279-11CE-A49E-444553540000}\\InprocServer32";
    static constexpr const wchar_t* kSaved = L"PictorTestOriginal";

    bool read(const wchar_t* name, std::wstring& value) const
    {
        wchar_t buffer[MAX_PATH] = {};
        DWORD size = sizeof buffer - sizeof(wchar_t);
        if (RegQueryValueExW(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size)
            != ERROR_SUCCESS)
            return false;
        value = buffer;
        return !value.empty();
    }
    void write(const wchar_t* name, const std::wstring& value) const
    {
        RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

    HKEY key_ = nullptr;
    std::wstring original_;
};

// Whether the shell object can be created at all, asked from a thread of its own.
HRESULT try_create_shell()
{
    HRESULT hr = E_FAIL;
    std::thread([&] {
        CoInitialize(nullptr);
        IDispatch* shell = nullptr;
        hr = CoCreateInstance(__uuidof(Shell), nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              __uuidof(IDispatch), reinterpret_cast<void**>(&shell));
        if (shell)
            shell->Release();
        CoUninitialize();
    }).join();
    return hr;
}

struct ToggleCase {
    Apartment apartment;
    ShellObject shell;
};

void PrintTo(const ToggleCase& c, std::ostream* out)
{
    *out << name_of(c.apartment) << ", " << name_of(c.shell);
}

class ToggleDesktopTest : public PictorTest, public ::testing::WithParamInterface<ToggleCase> {};

TEST_P(ToggleDesktopTest, LeavesTheThreadsComStateAsItFoundIt)
{
    const ToggleCase c = GetParam();
    const auto toggle = get<ToggleFn>("ToggleDesktop");
    ASSERT_NE(toggle, nullptr);

    std::unique_ptr<ShellClassHidden> hidden;
    if (c.shell == ShellObject::Missing) {
        hidden = std::make_unique<ShellClassHidden>();
        ASSERT_TRUE(hidden->active());
        ASSERT_EQ(try_create_shell(), REGDB_E_CLASSNOTREG);
    }
    fake_shell = fake_shell_record{};

    // A fresh thread, so that nothing of this test's main thread leaks into the count.
    std::thread([&] {
        const DWORD model = c.apartment == Apartment::Multi ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED;
        const bool entered = c.apartment != Apartment::None;
        if (entered) {
            ASSERT_EQ(CoInitializeEx(nullptr, model), S_OK);
        }
        DWORD cookie = 0;
        if (c.shell == ShellObject::StandIn) {
            ASSERT_EQ(fake_shell_register(&cookie), S_OK);
        }

        toggle();

        if (c.shell == ShellObject::StandIn)
            fake_shell_revoke(cookie);
        EXPECT_EQ(probe(model), entered ? S_FALSE : S_OK) << "the caller's initialisation was not kept";
        if (entered)
            CoUninitialize();
        EXPECT_EQ(probe(COINIT_APARTMENTTHREADED), S_OK) << "an initialisation was left behind";
    }).join();

    if (c.shell == ShellObject::StandIn) {
        EXPECT_EQ(fake_shell.toggles, 1);
        EXPECT_EQ(fake_shell.misplaced_calls, 0);
        EXPECT_EQ(fake_shell.live_objects, 0);
    }
}

// The stand-in is registered in the caller's apartment, so it needs one to exist before the call.
INSTANTIATE_TEST_SUITE_P(
    Apartments, ToggleDesktopTest,
    ::testing::Values(ToggleCase{Apartment::None, ShellObject::Platform},
                      ToggleCase{Apartment::Single, ShellObject::Platform},
                      ToggleCase{Apartment::Multi, ShellObject::Platform},
                      ToggleCase{Apartment::Single, ShellObject::StandIn},
                      ToggleCase{Apartment::Multi, ShellObject::StandIn},
                      ToggleCase{Apartment::None, ShellObject::Missing},
                      ToggleCase{Apartment::Single, ShellObject::Missing},
                      ToggleCase{Apartment::Multi, ShellObject::Missing}),
    [](const testing::TestParamInfo<ToggleCase>& param_info) {
        const ToggleCase& c = param_info.param;
        std::string name = std::string(name_of(c.apartment)) + "_" + name_of(c.shell);
        for (char& ch : name)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

}  // namespace
