// A late-bound IDispatch answered from a static table of members: names found case-insensitively,
// arguments coerced with VariantChangeType to the member's type. No type library: the host only
// ever calls by name.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

namespace standin {

enum class MemberKind { Property, ReadOnly, Method };

struct DispMember {
  const wchar_t* name;
  DISPID id;
  VARTYPE type;  // of the property, or of a method's result (VT_EMPTY: none)
  MemberKind kind;
  long initial;  // numeric properties start with this value; texts start null
};

class DispatchMembers {
 public:
  DispatchMembers(const DispMember* table, size_t count, const char* journal_prefix);
  virtual ~DispatchMembers();
  DispatchMembers(const DispatchMembers&) = delete;
  DispatchMembers& operator=(const DispatchMembers&) = delete;

  HRESULT ids_of_names(REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) const;
  HRESULT invoke(DISPID id, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* arg_error);

  // The stored value of a plain property (VT_EMPTY for unknown ids).
  const VARIANT& value(DISPID id) const;
  const DispMember* member(DISPID id) const;

 protected:
  // Members needing more than the store: read-only specials and methods. Defaults refuse.
  virtual HRESULT get_special(const DispMember& member, VARIANT* result);
  virtual HRESULT call(const DispMember& member, VARIANT* result);
  // The journal name of a member: "Name" or "Prefix.Name".
  std::string journal_name(const DispMember& member) const;

 private:
  const DispMember* table_;
  size_t count_;
  std::string prefix_;
  std::vector<VARIANT> values_;
};

}  // namespace standin
