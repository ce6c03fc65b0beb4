#include "connector/host/ax_dialog.h"

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "connector/core/dialog_template.h"
#include "connector/host/ax_host.h"

namespace {

struct ResourceBytes {
  const uint8_t* data = nullptr;
  std::size_t size = 0;
};

ResourceBytes FindBytes(HINSTANCE instance, UINT id, LPCWSTR type) {
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), type);
  HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return {};
  return {static_cast<const uint8_t*>(data), SizeofResource(instance, found)};
}

constexpr WORD kDlgInitType = 240;

}  // namespace

DLGPROC AxDialog::GetDialogProc() { return DialogProc; }

void AxDialog::OnFinalMessage(HWND) {}

INT_PTR AxDialog::DoModal(HINSTANCE instance, UINT id, HWND owner, LPARAM init_param) {
  ResourceBytes tmpl = FindBytes(instance, id, MAKEINTRESOURCEW(5) /* RT_DIALOG */);
  if (!tmpl.data) return -1;
  ResourceBytes init = FindBytes(instance, id, MAKEINTRESOURCEW(kDlgInitType));
  std::vector<kestrel::DlgInitEntry> entries;
  if (init.data) {
    if (auto parsed = kestrel::parse_dlg_init(init.data, init.size)) entries = std::move(*parsed);
  }

  AxHostRegister(instance);
  // One record per control; the host windows read them while the dialog manager creates them.
  std::vector<std::unique_ptr<AxHostCreateInfo>> infos;
  auto creation_data = [&](const kestrel::AxTemplateItem& item) {
    auto info = std::make_unique<AxHostCreateInfo>();
    std::wstring text(item.class_name.begin(), item.class_name.end());
    info->clsid_result = CLSIDFromString(text.c_str(), &info->clsid);
    info->result = E_FAIL;
    for (const auto& entry : entries) {
      if (entry.control == item.id && entry.message == kestrel::kDlgInitOleControl) {
        info->init_data = entry.data;
        info->init_size = entry.size;
        break;
      }
    }
    AxHostCreateInfo* pointer = info.get();
    infos.push_back(std::move(info));
    std::vector<uint8_t> bytes(sizeof pointer);
    std::memcpy(bytes.data(), &pointer, sizeof pointer);
    return bytes;
  };
  auto rewritten = kestrel::rewrite_ax_template(tmpl.data, tmpl.size, u"KestrelAxHost", creation_data);
  if (!rewritten) return -1;

  init_param_ = init_param;
  INT_PTR result = DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(rewritten->bytes.data()),
                                           owner, GetDialogProc(), reinterpret_cast<LPARAM>(this));
  if (result == -1) {
    for (const auto& info : infos) {
      if (FAILED(info->result)) {
        SetLastError(DWORD(info->result) & 0xFFFF);
        break;
      }
    }
  }
  return result;
}

INT_PTR CALLBACK AxDialog::DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  AxDialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    // Messages before WM_INITDIALOG (font, creation) go to the default handling only.
    self = reinterpret_cast<AxDialog*>(lparam);
    self->m_hWnd = window;
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    lparam = self->init_param_;
  } else {
    self = reinterpret_cast<AxDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  }
  if (!self) return FALSE;

  LRESULT result = 0;
  BOOL handled = self->ProcessWindowMessage(window, message, wparam, lparam, result, 0);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, DWLP_USER, 0);
    self->m_hWnd = nullptr;
    self->OnFinalMessage(window);
  }
  if (!handled) return FALSE;
  switch (message) {
    // These answer through the procedure's own result.
    case WM_INITDIALOG:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return result;
  }
  SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
  return TRUE;
}
