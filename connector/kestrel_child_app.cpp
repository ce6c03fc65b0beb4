#include "connector/kestrel_child_app.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "connector/core/switches.h"
#include "connector/host/registrar.h"
#include "connector/rdp_dlg.h"
#include "connector/resources/resource.h"

CKestrelChildApp theApp;

namespace {

const std::map<std::u16string, std::u16string> kScriptReplacements = {
    {u"APPID", u"{386E969C-FF9B-431E-8859-AA7F6EF565E9}"},
};

kestrel::StartupAction DecideFromCommandLine() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return kestrel::StartupAction::RunSession;
  std::vector<std::u16string_view> args;
  for (int i = 1; i < count; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  kestrel::StartupAction action = kestrel::decide_startup(args);
  LocalFree(argv);
  return action;
}

}  // namespace

BOOL CKestrelChildApp::InitInstance() {
  // A single-threaded apartment: in a multithreaded one the control would be proxied, and its
  // non-dual password interface has no proxy.
  OleInitialize(nullptr);
  INITCOMMONCONTROLSEX controls = {8, 0xFF};
  InitCommonControlsEx(&controls);

  HMODULE module = GetModuleHandleW(nullptr);
  switch (DecideFromCommandLine()) {
    case kestrel::StartupAction::Embedding:
      return TRUE;
    case kestrel::StartupAction::Unregister:
      RunRegistryScript(module, IDR_KESTRELCHILD, false, kScriptReplacements);
      UnregisterModuleTypeLib(module);
      return FALSE;
    case kestrel::StartupAction::Register:
      RunRegistryScript(module, IDR_KESTRELCHILD, true, kScriptReplacements);
      RegisterModuleTypeLib(module);
      return FALSE;
    case kestrel::StartupAction::RunSession:
      break;
  }
  // A session that starts ends the process from inside the dialog; the run returns only when the
  // dialog could not be created.
  CRdpDlgSupport session;
  session.DoModal(module, IDD_RDP_SESSION, GetActiveWindow(), 0);
  return FALSE;
}

int CKestrelChildApp::ExitInstance() {
  OleUninitialize();
  return static_cast<int>(last_wparam_);
}

int CKestrelChildApp::Run() {
  if (InitInstance()) {
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
      if (got == -1) break;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (got == 0) last_wparam_ = message.wParam;
  }
  return ExitInstance();
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return theApp.Run(); }
