#include "outside/rdpcontrol/session_link.h"

#include <new>

namespace standin {
namespace {

class LocalLink final : public SessionLink {
 public:
  explicit LocalLink(bool auto_events) : auto_events_(auto_events) {}

  HRESULT connect(const ConnectRequest&, LinkEvents& events) override {
    if (auto_events_) {
      events.link_connected();
      events.link_login_complete();
    }
    return S_OK;
  }

  void disconnect(LinkEvents& events) override {
    if (auto_events_) events.link_disconnected(1);
  }

 private:
  bool auto_events_;
};

}  // namespace

std::unique_ptr<SessionLink> make_local_link(bool auto_events) {
  return std::unique_ptr<SessionLink>(new (std::nothrow) LocalLink(auto_events));
}

}  // namespace standin
