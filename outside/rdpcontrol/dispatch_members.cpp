#include "outside/rdpcontrol/dispatch_members.h"

#include <wchar.h>

#include "outside/rdpcontrol/journal.h"

namespace standin {
namespace {

// VariantCopy and VariantChangeType turn a null BSTR into an empty one here; a host that passes
// null must be told apart from one that passes "".
HRESULT copy_value(VARIANT* to, const VARIANT& from, VARTYPE type) {
  const BSTR* text = V_VT(&from) == VT_BSTR                ? &V_BSTR(&from)
                     : V_VT(&from) == (VT_BSTR | VT_BYREF) ? V_BSTRREF(&from)
                                                           : nullptr;
  if (type == VT_BSTR && text) {
    V_VT(to) = VT_BSTR;
    V_BSTR(to) = nullptr;
    if (!*text) return S_OK;
    V_BSTR(to) = SysAllocStringLen(*text, SysStringLen(*text));
    return V_BSTR(to) ? S_OK : E_OUTOFMEMORY;
  }
  return VariantChangeType(to, const_cast<VARIANT*>(&from), 0, type);
}

const VARIANT& empty_variant() {
  static VARIANT empty = [] {
    VARIANT v;
    VariantInit(&v);
    return v;
  }();
  return empty;
}

}  // namespace

DispatchMembers::DispatchMembers(const DispMember* table, size_t count, const char* journal_prefix)
    : table_(table), count_(count), prefix_(journal_prefix ? journal_prefix : ""), values_(count) {
  for (size_t i = 0; i < count_; ++i) {
    VARIANT& v = values_[i];
    VariantInit(&v);
    if (table_[i].kind != MemberKind::Property) continue;
    V_VT(&v) = table_[i].type;
    switch (table_[i].type) {
      case VT_BSTR: V_BSTR(&v) = nullptr; break;
      case VT_I4: V_I4(&v) = table_[i].initial; break;
      case VT_I2: V_I2(&v) = static_cast<SHORT>(table_[i].initial); break;
      case VT_BOOL: V_BOOL(&v) = table_[i].initial ? VARIANT_TRUE : VARIANT_FALSE; break;
      default: V_VT(&v) = VT_EMPTY; break;
    }
  }
}

DispatchMembers::~DispatchMembers() {
  for (VARIANT& v : values_) VariantClear(&v);
}

const DispMember* DispatchMembers::member(DISPID id) const {
  for (size_t i = 0; i < count_; ++i)
    if (table_[i].id == id) return &table_[i];
  return nullptr;
}

const VARIANT& DispatchMembers::value(DISPID id) const {
  for (size_t i = 0; i < count_; ++i)
    if (table_[i].id == id) return values_[i];
  return empty_variant();
}

std::string DispatchMembers::journal_name(const DispMember& m) const {
  std::string name = utf8(m.name);
  return prefix_.empty() ? name : prefix_ + "." + name;
}

HRESULT DispatchMembers::ids_of_names(REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) const {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!names || !ids) return E_POINTER;
  if (count == 0) return S_OK;
  HRESULT hr = S_OK;
  ids[0] = DISPID_UNKNOWN;
  for (size_t i = 0; i < count_; ++i) {
    if (names[0] && _wcsicmp(names[0], table_[i].name) == 0) {
      ids[0] = table_[i].id;
      break;
    }
  }
  if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  // No member takes named parameters.
  for (UINT i = 1; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT DispatchMembers::invoke(DISPID id, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                UINT* arg_error) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!params) return E_INVALIDARG;
  size_t index = count_;
  for (size_t i = 0; i < count_; ++i)
    if (table_[i].id == id) index = i;
  if (index == count_) return DISP_E_MEMBERNOTFOUND;
  const DispMember& m = table_[index];

  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (m.kind != MemberKind::Property) return DISP_E_MEMBERNOTFOUND;
    if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    if (params->cNamedArgs > 1 || (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
      return DISP_E_NONAMEDARGS;
    VARIANT coerced;
    VariantInit(&coerced);
    HRESULT hr = copy_value(&coerced, params->rgvarg[0], m.type);
    if (hr == E_OUTOFMEMORY) return hr;
    if (FAILED(hr)) {
      if (arg_error) *arg_error = 0;
      return DISP_E_TYPEMISMATCH;
    }
    journal("put " + journal_value(journal_name(m), coerced));
    VariantClear(&values_[index]);
    values_[index] = coerced;  // the store takes over the coerced copy
    return S_OK;
  }

  if (m.kind == MemberKind::Method) {
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    journal("call " + journal_name(m));
    if (result) VariantInit(result);
    return call(m, result);
  }

  // A property read, also when asked for as a method without arguments.
  if (!(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) return DISP_E_MEMBERNOTFOUND;
  if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
  journal("get " + journal_name(m));
  if (m.kind == MemberKind::ReadOnly) {
    if (result) VariantInit(result);
    return get_special(m, result);
  }
  if (!result) return S_OK;
  VariantInit(result);
  return copy_value(result, values_[index], m.type);
}

HRESULT DispatchMembers::get_special(const DispMember&, VARIANT*) { return DISP_E_MEMBERNOTFOUND; }

HRESULT DispatchMembers::call(const DispMember&, VARIANT*) { return DISP_E_MEMBERNOTFOUND; }

}  // namespace standin
