#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "outside/msrdp.h"
#include "outside/parent/ui_probe.h"
#include "outside/rdpcontrol/standin_protocol.h"

namespace {

// A COM pointer that releases what it holds.
template <class T>
struct Ptr {
  T* p = nullptr;
  Ptr() = default;
  Ptr(const Ptr&) = delete;
  Ptr& operator=(const Ptr&) = delete;
  ~Ptr() { reset(); }
  void reset() {
    if (p) p->Release();
    p = nullptr;
  }
  T** out() {
    reset();
    return &p;
  }
  void** vout() { return reinterpret_cast<void**>(out()); }
  T* operator->() const { return p; }
};

struct Variant {
  VARIANT v;
  Variant() { VariantInit(&v); }
  explicit Variant(long n) : Variant() {
    V_VT(&v) = VT_I4;
    V_I4(&v) = n;
  }
  explicit Variant(const wchar_t* text) : Variant() {
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = text ? SysAllocString(text) : nullptr;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&v); }
};

DISPID id_of(IDispatch* object, const wchar_t* name, HRESULT* hr = nullptr) {
  DISPID id = 12345;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT result = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (hr) *hr = result;
  return id;
}

HRESULT put(IDispatch* object, const wchar_t* name, VARIANT& value) {
  HRESULT hr;
  DISPID id = id_of(object, name, &hr);
  if (FAILED(hr)) return hr;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {&value, &named, 1, 1};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
}

HRESULT invoke(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* result) {
  HRESULT hr;
  DISPID id = id_of(object, name, &hr);
  if (FAILED(hr)) return hr;
  DISPPARAMS params = {nullptr, nullptr, 0, 0};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

HRESULT get(IDispatch* object, const wchar_t* name, VARIANT* result) {
  return invoke(object, name, DISPATCH_PROPERTYGET, result);
}

HRESULT call(IDispatch* object, const wchar_t* name, VARIANT* result = nullptr) {
  return invoke(object, name, DISPATCH_METHOD, result);
}

using parent::pump_until;

void pump(DWORD ms) { pump_until([] { return false; }, ms); }

// An event sink that records what reaches it.
class RecordingSink final : public IDispatch {
 public:
  struct Event {
    DISPID id;
    long reason;  // -999 when the event carries no argument
  };
  std::vector<Event> events;

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, msrdp::DIID_IMsTscAxEvents)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    long reason = -999;
    if (params && params->cArgs == 1 && V_VT(&params->rgvarg[0]) == VT_I4) reason = V_I4(&params->rgvarg[0]);
    events.push_back({id, reason});
    return S_OK;
  }
  ULONG refs() const { return refs_; }

 private:
  ULONG refs_ = 1;
};

class RdpControlTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
  static void TearDownTestSuite() { OleUninitialize(); }

  void SetUp() override {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    journal_ = std::wstring(folder) + L"rdpcontrol_test_" + std::to_wstring(GetCurrentProcessId()) + L".log";
    standin::clear_journal(journal_);
    SetEnvironmentVariableW(standin::kJournalEnv, journal_.c_str());
    ASSERT_EQ(S_OK, CoCreateInstance(msrdp::CLSID_MsRdpClient2, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     control_.vout()));
  }

  void TearDown() override {
    secured_.reset();
    advanced_.reset();
    control_.reset();
    SetEnvironmentVariableW(standin::kJournalEnv, nullptr);
    standin::clear_journal(journal_);
  }

  std::vector<std::string> journal() const { return standin::read_journal(journal_); }

  // The journal lines that start with `prefix`, in order.
  std::vector<std::string> journal(const std::string& prefix) const {
    std::vector<std::string> picked;
    for (const std::string& line : journal())
      if (line.compare(0, prefix.size(), prefix) == 0) picked.push_back(line);
    return picked;
  }

  // The control itself (null) or one of its settings objects, kept for the test's length.
  IDispatch* target(const wchar_t* settings_name) {
    if (!settings_name) return control_.p;
    Ptr<IDispatch>& keep = settings_name == std::wstring(L"SecuredSettings") ? secured_ : advanced_;
    if (!keep.p) {
      Variant v;
      EXPECT_EQ(S_OK, get(control_.p, settings_name, &v.v));
      EXPECT_EQ(VT_DISPATCH, V_VT(&v.v));
      if (V_VT(&v.v) == VT_DISPATCH && V_DISPATCH(&v.v))
        V_DISPATCH(&v.v)->QueryInterface(IID_IDispatch, keep.vout());
    }
    return keep.p;
  }

  // The control's message-only window, where commands go.
  static HWND command_window() { return FindWindowExW(HWND_MESSAGE, nullptr, standin::kWindowClass, nullptr); }

  std::wstring journal_;
  Ptr<IDispatch> control_;
  Ptr<IDispatch> secured_;
  Ptr<IDispatch> advanced_;
};

TEST_F(RdpControlTest, NamesAreFoundWhateverTheirCaseAndUnknownNamesAreRefused) {
  struct Case {
    const wchar_t* object;  // null: the control itself
    const wchar_t* spelling;
    const wchar_t* canonical;
  };
  const Case known[] = {
      {nullptr, L"username", L"UserName"},         {nullptr, L"SERVER", L"Server"},
      {nullptr, L"connect", L"Connect"},           {nullptr, L"requestclose", L"RequestClose"},
      {nullptr, L"advancedsettings3", L"AdvancedSettings3"},
      {L"SecuredSettings", L"STARTPROGRAM", L"StartProgram"},
      {L"AdvancedSettings3", L"rdpport", L"RDPPort"},
      {L"AdvancedSettings3", L"pluginDLLs", L"PluginDlls"},
  };
  for (const Case& c : known) {
    IDispatch* object = target(c.object);
    ASSERT_TRUE(object);
    HRESULT hr_a, hr_b;
    DISPID a = id_of(object, c.spelling, &hr_a);
    DISPID b = id_of(object, c.canonical, &hr_b);
    EXPECT_EQ(S_OK, hr_a) << c.spelling;
    EXPECT_EQ(S_OK, hr_b) << c.canonical;
    EXPECT_EQ(b, a) << c.spelling;
  }

  // Each settings object knows only its own members; the password is not scriptable.
  const Case unknown[] = {
      {nullptr, L"Password", nullptr},          {nullptr, L"ClearTextPassword", nullptr},
      {nullptr, L"StartProgram", nullptr},      {nullptr, L"UserNam", nullptr},
      {L"SecuredSettings", L"PerformanceFlags", nullptr},
      {L"AdvancedSettings3", L"StartProgram", nullptr},
  };
  for (const Case& c : unknown) {
    IDispatch* object = target(c.object);
    ASSERT_TRUE(object);
    HRESULT hr;
    DISPID id = id_of(object, c.spelling, &hr);
    EXPECT_EQ(DISP_E_UNKNOWNNAME, hr) << c.spelling;
    EXPECT_EQ(DISPID_UNKNOWN, id) << c.spelling;
  }
}

TEST_F(RdpControlTest, PutValuesAreCoercedToTheMemberTypeOrRefusedLeavingTheOldValue) {
  struct Case {
    const wchar_t* object;
    const wchar_t* name;
    const wchar_t* text;  // the value put: this text, or `number` when null
    long number;
    HRESULT hr;
    VARTYPE type;  // read back
    long read_number;
    const wchar_t* read_text;
    const char* line;  // the journal's line for an accepted put
  };
  const Case cases[] = {
      {L"AdvancedSettings3", L"PerformanceFlags", L"239", 0, S_OK, VT_I4, 239, nullptr,
       "put AdvancedSettings3.PerformanceFlags=239"},
      {L"AdvancedSettings3", L"PerformanceFlags", L"fast", 0, DISP_E_TYPEMISMATCH, VT_I4, 0, nullptr, nullptr},
      {L"AdvancedSettings3", L"RedirectDrives", nullptr, -1, S_OK, VT_BOOL, VARIANT_TRUE, nullptr,
       "put AdvancedSettings3.RedirectDrives=-1"},
      {L"AdvancedSettings3", L"SmartSizing", nullptr, 0, S_OK, VT_BOOL, VARIANT_FALSE, nullptr,
       "put AdvancedSettings3.SmartSizing=0"},
      {L"AdvancedSettings3", L"RDPPort", L"13389", 0, S_OK, VT_I4, 13389, nullptr,
       "put AdvancedSettings3.RDPPort=13389"},
      {nullptr, L"ColorDepth", L"24", 0, S_OK, VT_I4, 24, nullptr, "put ColorDepth=24"},
      {nullptr, L"DesktopWidth", L"wide", 0, DISP_E_TYPEMISMATCH, VT_I4, 0, nullptr, nullptr},
      {nullptr, L"UserName", nullptr, 42, S_OK, VT_BSTR, 0, L"42", "put UserName=42"},
      {L"SecuredSettings", L"StartProgram", L"%SystemRoot%\\rdpshell.exe app", 0, S_OK, VT_BSTR, 0,
       L"%SystemRoot%\\rdpshell.exe app", "put SecuredSettings.StartProgram=%SystemRoot%\\rdpshell.exe app"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.object ? c.object : L"control") << "." << c.name);
    IDispatch* object = target(c.object);
    ASSERT_TRUE(object);
    Variant before;
    ASSERT_EQ(S_OK, get(object, c.name, &before.v));
    Variant value = c.text ? Variant(c.text) : Variant(c.number);
    size_t lines_before = journal().size();
    EXPECT_EQ(c.hr, put(object, c.name, value.v));
    Variant after;
    ASSERT_EQ(S_OK, get(object, c.name, &after.v));
    ASSERT_EQ(c.type, V_VT(&after.v));
    std::vector<std::string> lines = journal();
    if (FAILED(c.hr)) {
      EXPECT_EQ(static_cast<HRESULT>(VARCMP_EQ), VarCmp(&before.v, &after.v, LOCALE_USER_DEFAULT, 0));
      EXPECT_EQ(lines_before + 1, lines.size()) << "only the read after is journalled";
      continue;
    }
    if (c.type == VT_BSTR) {
      EXPECT_STREQ(c.read_text, V_BSTR(&after.v));
    } else if (c.type == VT_I4) {
      EXPECT_EQ(c.read_number, V_I4(&after.v));
    } else {
      EXPECT_EQ(c.read_number, V_BOOL(&after.v));
    }
    ASSERT_GT(lines.size(), lines_before);
    EXPECT_EQ(c.line, lines[lines_before]);
  }

  // Neither an object nor a settings object goes into a number.
  Variant object;
  V_VT(&object.v) = VT_DISPATCH;
  V_DISPATCH(&object.v) = control_.p;
  control_.p->AddRef();
  EXPECT_EQ(DISP_E_TYPEMISMATCH, put(control_.p, L"DesktopHeight", object.v));
  // Read-only members and methods take no value.
  Variant one(1L);
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, put(control_.p, L"Connected", one.v));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, put(control_.p, L"Connect", one.v));
}

TEST_F(RdpControlTest, JournalTellsNullTextsFromEmptyOnesAndKeepsUnicode) {
  Ptr<msrdp::IMsRdpClientNonScriptable> secret;
  ASSERT_EQ(S_OK, control_->QueryInterface(msrdp::IID_IMsRdpClientNonScriptable, secret.vout()));
  Variant null_text(static_cast<const wchar_t*>(nullptr));
  Variant empty_text(L"");
  Variant chinese(L"\u7528\u6237");
  Variant tabbed(L"a\tb\\c");
  EXPECT_EQ(S_OK, put(control_.p, L"UserName", null_text.v));
  EXPECT_EQ(S_OK, put(control_.p, L"UserName", empty_text.v));
  EXPECT_EQ(S_OK, put(control_.p, L"Server", chinese.v));
  EXPECT_EQ(S_OK, put(control_.p, L"ConnectingText", tabbed.v));
  BSTR password = SysAllocString(L"s3cret");
  EXPECT_EQ(S_OK, secret->put_ClearTextPassword(password));
  SysFreeString(password);
  EXPECT_EQ(S_OK, secret->put_ClearTextPassword(nullptr));

  const std::vector<std::string> expected = {
      "put UserName null",
      "put UserName=",
      "put Server=\xE7\x94\xA8\xE6\x88\xB7",
      "put ConnectingText=a\\x09b\\c",
      "put ClearTextPassword=s3cret",
      "put ClearTextPassword null",
  };
  EXPECT_EQ(expected, journal("put "));
}

TEST_F(RdpControlTest, InterfacesOfTheControlReachOneObject) {
  Ptr<IUnknown> identity;
  ASSERT_EQ(S_OK, control_->QueryInterface(IID_IUnknown, identity.vout()));
  const IID* dispatch_iids[] = {&msrdp::IID_IMsRdpClient2, &msrdp::IID_IMsRdpClient, &msrdp::IID_IMsTscAx};
  for (const IID* iid : dispatch_iids) {
    Ptr<IDispatch> client;
    ASSERT_EQ(S_OK, control_->QueryInterface(*iid, client.vout()));
    HRESULT hr;
    id_of(client.p, L"Connect", &hr);
    EXPECT_EQ(S_OK, hr);
  }
  const IID* other_iids[] = {&msrdp::IID_IMsRdpClientNonScriptable, &msrdp::IID_IMsTscNonScriptable,
                             &IID_IOleObject, &IID_IOleInPlaceObject, &IID_IPersistStreamInit,
                             &IID_IConnectionPointContainer, &IID_IProvideClassInfo2};
  for (const IID* iid : other_iids) {
    Ptr<IUnknown> face;
    ASSERT_EQ(S_OK, control_->QueryInterface(*iid, face.vout()));
    Ptr<IUnknown> back;
    ASSERT_EQ(S_OK, face->QueryInterface(IID_IUnknown, back.vout()));
    EXPECT_EQ(identity.p, back.p) << "COM identity";
  }
  Ptr<IUnknown> none;
  EXPECT_EQ(E_NOINTERFACE, control_->QueryInterface(IID_IStorage, none.vout()));
}

TEST_F(RdpControlTest, LoadRecordsTheExactBytesOfTheStreamAndInitNewIsRecorded) {
  const unsigned char init[24] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x08, 0x00, 0x02, 0x00,
                                  0x00, 0x00, 0x00, 0x00, 0x0B, 0x00, 0x00, 0x00, 0x0B, 0x00, 0x00, 0x00};
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof init);
  ASSERT_TRUE(memory);
  memcpy(GlobalLock(memory), init, sizeof init);
  GlobalUnlock(memory);
  Ptr<IStream> stream;
  ASSERT_EQ(S_OK, CreateStreamOnHGlobal(memory, TRUE, stream.out()));
  Ptr<IPersistStreamInit> persist;
  ASSERT_EQ(S_OK, control_->QueryInterface(IID_IPersistStreamInit, persist.vout()));
  EXPECT_EQ(S_OK, persist->Load(stream.p));
  EXPECT_EQ(S_OK, persist->InitNew());
  const std::vector<std::string> expected = {"Load 24 000000000003000008000200000000000B0000000B000000",
                                             "InitNew"};
  std::vector<std::string> lines = journal();
  EXPECT_EQ(expected, lines);
}

class RdpControlEventTest : public RdpControlTest {
 protected:
  void SetUp() override {
    RdpControlTest::SetUp();
    if (HasFatalFailure()) return;
    Ptr<IProvideClassInfo2> info;
    ASSERT_EQ(S_OK, control_->QueryInterface(IID_IProvideClassInfo2, info.vout()));
    GUID source = GUID_NULL;
    ASSERT_EQ(S_OK, info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
    ASSERT_TRUE(IsEqualGUID(msrdp::DIID_IMsTscAxEvents, source));
    Ptr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, control_->QueryInterface(IID_IConnectionPointContainer, container.vout()));
    ASSERT_EQ(S_OK, container->FindConnectionPoint(source, point_.out()));
    Ptr<IConnectionPoint> none;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(IID_IDispatch, none.out()));
    ASSERT_EQ(S_OK, point_->Advise(&sink_, &cookie_));
  }

  void TearDown() override {
    if (cookie_) point_->Unadvise(cookie_);
    point_.reset();
    RdpControlTest::TearDown();
  }

  void expect_events(const std::vector<RecordingSink::Event>& expected) {
    pump_until([&] { return sink_.events.size() >= expected.size(); }, 3000);
    pump(50);  // nothing more may follow
    ASSERT_EQ(expected.size(), sink_.events.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(expected[i].id, sink_.events[i].id) << "event " << i;
      EXPECT_EQ(expected[i].reason, sink_.events[i].reason) << "event " << i;
    }
  }

  short connected() {
    Variant v;
    EXPECT_EQ(S_OK, get(control_.p, L"Connected", &v.v));
    EXPECT_EQ(VT_I2, V_VT(&v.v));
    return V_I2(&v.v);
  }

  RecordingSink sink_;
  Ptr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

TEST_F(RdpControlEventTest, ConnectFiresItsEventsLaterFromPostedMessagesNeverInsideTheCall) {
  EXPECT_EQ(S_OK, call(control_.p, L"Connect"));
  EXPECT_TRUE(sink_.events.empty()) << "an event arrived inside Connect";
  EXPECT_EQ(2, connected()) << "connecting";
  expect_events({{msrdp::DispidOnConnected, -999}, {msrdp::DispidOnLoginComplete, -999}});
  EXPECT_EQ(1, connected());

  EXPECT_EQ(S_OK, call(control_.p, L"Disconnect"));
  EXPECT_EQ(2u, sink_.events.size()) << "an event arrived inside Disconnect";
  EXPECT_EQ(0, connected());
  expect_events({{msrdp::DispidOnConnected, -999},
                 {msrdp::DispidOnLoginComplete, -999},
                 {msrdp::DispidOnDisconnected, 1}});
  // Disconnecting what is not connected reports nothing.
  EXPECT_EQ(S_OK, call(control_.p, L"Disconnect"));
  pump(50);
  EXPECT_EQ(3u, sink_.events.size());

  const std::vector<std::string> expected = {
      "Advise {336D5562-EFA8-482E-8CB3-C5C0FC7A7DB6}", "call Connect", "get Connected", "fire OnConnected",
      "fire OnLoginComplete", "get Connected", "call Disconnect", "get Connected", "fire OnDisconnected 1",
      "call Disconnect"};
  EXPECT_EQ(expected, journal());
}

TEST_F(RdpControlEventTest, TestCommandsFireEventsAndSetWhatTheControlAnswers) {
  HWND commands = command_window();
  ASSERT_TRUE(commands);
  PostMessageW(commands, standin::CmdFireConnected, 0, 0);
  PostMessageW(commands, standin::CmdFireLoginComplete, 0, 0);
  PostMessageW(commands, standin::CmdFireDisconnected, 4, 0);
  PostMessageW(commands, standin::CmdFireDisconnected, static_cast<WPARAM>(-1), 0);
  expect_events({{msrdp::DispidOnConnected, -999},
                 {msrdp::DispidOnLoginComplete, -999},
                 {msrdp::DispidOnDisconnected, 4},
                 {msrdp::DispidOnDisconnected, -1}});
  EXPECT_EQ(journal("fire "), (std::vector<std::string>{"fire OnConnected", "fire OnLoginComplete",
                                                        "fire OnDisconnected 4", "fire OnDisconnected -1"}));

  struct Case {
    long close_status;
    short connected;
    HRESULT connect_result;
  };
  const Case cases[] = {{1, 1, S_OK}, {0, 0, E_FAIL}, {7, 2, static_cast<HRESULT>(0x80070005)}};
  for (const Case& c : cases) {
    PostMessageW(commands, standin::CmdSetCloseStatus, static_cast<WPARAM>(c.close_status), 0);
    PostMessageW(commands, standin::CmdSetConnected, static_cast<WPARAM>(c.connected), 0);
    PostMessageW(commands, standin::CmdSetConnectResult, static_cast<WPARAM>(c.connect_result), 0);
    pump(50);
    Variant status;
    EXPECT_EQ(S_OK, call(control_.p, L"RequestClose", &status.v));
    ASSERT_EQ(VT_I4, V_VT(&status.v));
    EXPECT_EQ(c.close_status, V_I4(&status.v));
    EXPECT_EQ(c.connected, connected());
    EXPECT_EQ(c.connect_result, call(control_.p, L"Connect"));
  }
}

TEST_F(RdpControlEventTest, AnUnadvisedSinkHearsNothingMoreAndIsReleased) {
  ASSERT_EQ(S_OK, point_->Unadvise(cookie_));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point_->Unadvise(cookie_));
  cookie_ = 0;
  EXPECT_EQ(1u, sink_.refs());
  PostMessageW(command_window(), standin::CmdFireDisconnected, 4, 0);
  pump(100);
  EXPECT_TRUE(sink_.events.empty());
  EXPECT_EQ(journal("Unadvise"), std::vector<std::string>{"Unadvise 1"});
}

// A container's site, as small as in-place activation allows; it notes the calls it gets.
class TestSite final : public IOleClientSite, public IOleInPlaceSite {
 public:
  TestSite(HWND host, RECT pos, bool allow) : host_(host), pos_(pos), allow_(allow) {}
  std::vector<std::string> calls;

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }
  ULONG refs() const { return refs_; }

  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer** c) override {
    *c = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  STDMETHODIMP GetWindow(HWND* window) override {
    calls.push_back("GetWindow");
    *window = host_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override {
    calls.push_back("CanInPlaceActivate");
    return allow_ ? S_OK : S_FALSE;
  }
  STDMETHODIMP OnInPlaceActivate() override {
    calls.push_back("OnInPlaceActivate");
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO) override {
    calls.push_back("GetWindowContext");
    *frame = nullptr;
    *doc = nullptr;
    *pos = pos_;
    *clip = pos_;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override {
    calls.push_back("OnInPlaceDeactivate");
    return S_OK;
  }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return E_NOTIMPL; }

 private:
  HWND host_;
  RECT pos_;
  bool allow_;
  ULONG refs_ = 1;
};

RECT placement(HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

TEST_F(RdpControlTest, InPlaceActivationAsksTheSiteThenPutsItsWindowOverTheGivenRectangle) {
  HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(host);
  const RECT pos = {10, 20, 310, 220};
  for (bool allow : {true, false}) {
    SCOPED_TRACE(allow ? "site allows" : "site refuses");
    TestSite site(host, pos, allow);
    {
      Ptr<IOleObject> object;
      ASSERT_EQ(S_OK, CoCreateInstance(msrdp::CLSID_MsRdpClient2, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                       object.vout()));
      ASSERT_EQ(S_OK, object->SetClientSite(&site));
      EXPECT_EQ(2u, site.refs()) << "the control keeps its site";
      HRESULT hr = object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, host, &pos);
      HWND window = FindWindowExW(host, nullptr, standin::kWindowClass, nullptr);
      Ptr<IOleInPlaceObject> inplace;
      ASSERT_EQ(S_OK, object->QueryInterface(IID_IOleInPlaceObject, inplace.vout()));
      if (!allow) {
        EXPECT_TRUE(FAILED(hr));
        EXPECT_FALSE(window);
        EXPECT_EQ(std::vector<std::string>{"CanInPlaceActivate"}, site.calls);
        continue;
      }
      ASSERT_EQ(S_OK, hr);
      ASSERT_TRUE(window);
      EXPECT_TRUE(GetWindowLongW(window, GWL_STYLE) & WS_CHILD);
      EXPECT_TRUE(IsWindowVisible(window) || !IsWindowVisible(host));
      RECT placed = placement(window);
      EXPECT_TRUE(EqualRect(&pos, &placed));
      HWND reported = nullptr;
      EXPECT_EQ(S_OK, inplace->GetWindow(&reported));
      EXPECT_EQ(window, reported);

      const RECT moved = {0, 0, 200, 100};
      EXPECT_EQ(S_OK, inplace->SetObjectRects(&moved, &moved));
      placed = placement(window);
      EXPECT_TRUE(EqualRect(&moved, &placed));

      EXPECT_EQ(S_OK, inplace->InPlaceDeactivate());
      EXPECT_FALSE(IsWindow(window));
      EXPECT_EQ(S_OK, inplace->InPlaceDeactivate()) << "a second deactivation is harmless";
      EXPECT_EQ(S_OK, object->Close(OLECLOSE_NOSAVE));
      const std::vector<std::string> expected = {"CanInPlaceActivate", "OnInPlaceActivate", "GetWindow",
                                                 "GetWindowContext", "OnInPlaceDeactivate"};
      EXPECT_EQ(expected, site.calls);
    }
    EXPECT_EQ(1u, site.refs()) << "the released control let go of its site";
  }
  DestroyWindow(host);
}

// Variables a test sets before the host process starts, read when a control is created.
TEST_F(RdpControlTest, StartUpSettingsComeFromTheEnvironmentOfTheCreatingProcess) {
  struct Case {
    const wchar_t* close_status;
    const wchar_t* connect_result;
    const wchar_t* auto_events;
    long expected_status;
    HRESULT expected_connect;
    size_t expected_events;  // after a Connect
  };
  const Case cases[] = {
      {L"1", nullptr, nullptr, 1, S_OK, 2},
      {L"0x2", L"0x80004005", nullptr, 2, E_FAIL, 0},
      {nullptr, L"0", L"0", 0, S_OK, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.close_status ? c.close_status : L"-") << " "
                                    << (c.connect_result ? c.connect_result : L"-") << " "
                                    << (c.auto_events ? c.auto_events : L"-"));
    RecordingSink sink;  // outlives the control, which may still hold it on a failure path
    SetEnvironmentVariableW(standin::kCloseStatusEnv, c.close_status);
    SetEnvironmentVariableW(standin::kConnectResultEnv, c.connect_result);
    SetEnvironmentVariableW(standin::kAutoEventsEnv, c.auto_events);
    Ptr<IDispatch> control;
    HRESULT created = CoCreateInstance(msrdp::CLSID_MsRdpClient2, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                       control.vout());
    SetEnvironmentVariableW(standin::kCloseStatusEnv, nullptr);
    SetEnvironmentVariableW(standin::kConnectResultEnv, nullptr);
    SetEnvironmentVariableW(standin::kAutoEventsEnv, nullptr);
    ASSERT_EQ(S_OK, created);

    Ptr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, control->QueryInterface(IID_IConnectionPointContainer, container.vout()));
    Ptr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, container->FindConnectionPoint(msrdp::DIID_IMsTscAxEvents, point.out()));
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(&sink, &cookie));

    Variant status;
    EXPECT_EQ(S_OK, call(control.p, L"RequestClose", &status.v));
    EXPECT_EQ(c.expected_status, V_I4(&status.v));
    EXPECT_EQ(c.expected_connect, call(control.p, L"Connect"));
    pump_until([&] { return sink.events.size() >= c.expected_events; }, 3000);
    pump(50);
    EXPECT_EQ(c.expected_events, sink.events.size());
    point->Unadvise(cookie);
  }

  // A control that refuses to be made, or to load its state.
  SetEnvironmentVariableW(standin::kFailEnv, L"create");
  Ptr<IUnknown> refused;
  EXPECT_TRUE(FAILED(CoCreateInstance(msrdp::CLSID_MsRdpClient2, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                      refused.vout())));
  SetEnvironmentVariableW(standin::kFailEnv, L"load");
  Ptr<IPersistStreamInit> persist;
  HRESULT created = CoCreateInstance(msrdp::CLSID_MsRdpClient2, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IPersistStreamInit, persist.vout());
  SetEnvironmentVariableW(standin::kFailEnv, nullptr);
  ASSERT_EQ(S_OK, created);
  Ptr<IStream> stream;
  ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, stream.out()));
  EXPECT_EQ(E_FAIL, persist->Load(stream.p));
}

TEST(RdpControlRegistration, OnlyTheInProcessServerOfTheClassIsRegistered) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT,
                                         L"CLSID\\{3523C2FB-4031-44E4-9A3B-F1E94986EE7F}\\InprocServer32", 0,
                                         KEY_READ, &key));
  wchar_t text[MAX_PATH];
  DWORD size = sizeof text;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, L"ThreadingModel", nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(text), &size));
  EXPECT_STREQ(L"Apartment", text);
  size = sizeof text;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size));
  std::wstring path = text;
  EXPECT_NE(std::wstring::npos, path.find(L"RdpControlStandIn.dll"));
  RegCloseKey(key);
}

}  // namespace
