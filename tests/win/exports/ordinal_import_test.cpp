// Binds the seamless plug-in's and Quillon's exports by ordinal, as the connector does, and calls
// them; the export check then reads this program's import table.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "ime_plugin/quillon.h"
#include "outside/tarragon.h"

namespace {

std::string ReadLog(const wchar_t* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(OrdinalImports, LoadAndRespond) {
  wchar_t path[MAX_PATH];
  GetTempPathW(MAX_PATH, path);
  wcscat(path, L"ordinal_import_test.log");
  DeleteFileW(path);
  ASSERT_TRUE(SetEnvironmentVariableW(L"KESTREL_LOGBOOK_FILE", path));

  HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
  TarragonAttach(window, reinterpret_cast<HWND>(static_cast<INT_PTR>(-1)));
  TarragonSend(L"LOGOUT,0");
  fnHookKeyDllSethook(window, 7);
  EXPECT_EQ(fnGetInputHwnd(), nullptr);

  const std::string log = ReadLog(path);
  EXPECT_NE(log.find("\tTarragon.dll\tTarragon\t0x00000003\tTarragonAttach"), std::string::npos) << log;
  EXPECT_NE(log.find("\tTarragon.dll\tTarragon\t0x00000003\tTarragonSend:LOGOUT,0\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\tQuillon.dll\tImeHookDll\t0x00000003\t"), std::string::npos) << log;
  DeleteFileW(path);
}

}  // namespace
