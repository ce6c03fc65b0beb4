// The two settings objects the control hands out: each a dispatch object of its own with a strict
// member table (a name of the other object is unknown here).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "outside/rdpcontrol/dispatch_members.h"

namespace standin {

enum SettingsDispid : DISPID {
  DispidStartProgram = 1,
  DispidWorkDir,
  DispidPluginDlls = 101,
  DispidEnableAutoReconnect,
  DispidRedirectPorts,
  DispidRedirectPrinters,
  DispidRedirectSmartCards,
  DispidRedirectDrives,
  DispidSmartSizing,
  DispidPerformanceFlags,
  DispidRdpPort,
};

class SettingsObject final : public IDispatch, public DispatchMembers {
 public:
  enum class Kind { Secured, Advanced };
  // Returned with one reference.
  static SettingsObject* create(Kind kind);

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT* arg_error) override;

 private:
  explicit SettingsObject(Kind kind);
  ~SettingsObject() override;
  LONG refs_ = 1;
};

}  // namespace standin
