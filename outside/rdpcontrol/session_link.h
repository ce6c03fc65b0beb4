// Where the control's connection goes. Connect and Disconnect hand their work to a SessionLink;
// the link reports back through LinkEvents, which only post to the control's window, so a link
// may call them from any thread and never inside the host's call.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace standin {

struct ConnectRequest {
  std::wstring server;
  std::wstring user_name;
  std::wstring password;
  std::wstring start_program;
  std::wstring plugin_dlls;
  long port = 0;
  long desktop_width = 0;
  long desktop_height = 0;
};

class LinkEvents {
 public:
  virtual void link_connected() = 0;
  virtual void link_login_complete() = 0;
  virtual void link_disconnected(long reason) = 0;

 protected:
  ~LinkEvents() = default;
};

class SessionLink {
 public:
  virtual ~SessionLink() = default;
  virtual HRESULT connect(const ConnectRequest& request, LinkEvents& events) = 0;
  // Called only while connected or connecting.
  virtual void disconnect(LinkEvents& events) = 0;
};

// No server: a connect succeeds at once. With `auto_events` it reports connected and logged in,
// and a disconnect reports reason 1 (a local disconnection); without, only test commands fire.
std::unique_ptr<SessionLink> make_local_link(bool auto_events);

}  // namespace standin
