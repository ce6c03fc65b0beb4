// Start-up decisions of the connector: the switch table and the parent's title.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "connector/core/parent_title.h"
#include "connector/core/switches.h"

namespace kestrel {
namespace {

StartupAction decide(std::vector<std::u16string> args) {
  std::vector<std::u16string_view> views(args.begin(), args.end());
  return decide_startup(views);
}

TEST(StartupSwitches, Table) {
  using A = StartupAction;
  struct Case {
    std::vector<std::u16string> args;
    A action;
  } cases[] = {
      {{}, A::RunSession},
      {{u"[0x2A0]"}, A::RunSession},
      {{u"/REGSERVER"}, A::Register},
      {{u"-regserver"}, A::Register},
      {{u"/Register"}, A::Register},
      {{u"-RegServerPerUser"}, A::Register},
      {{u"/registerperuser"}, A::Register},
      {{u"/Regserver", u"[0x2A0]"}, A::Register},
      {{u"[0x2A0]", u"/Regserver"}, A::Register},
      {{u"/Unregserver"}, A::Unregister},
      {{u"-UNREGISTER"}, A::Unregister},
      {{u"/UnregserverPerUser", u"[12]"}, A::Unregister},
      {{u"/unregisterperuser"}, A::Unregister},
      {{u"/Embedding"}, A::Embedding},
      {{u"-automation"}, A::Embedding},
      {{u"/Embedding", u"/Regserver"}, A::Embedding},
      {{u"/Regserver", u"/Unregserver"}, A::Unregister},  // the last shell switch counts
      {{u"/Unregserver", u"/Regserver"}, A::Register},
      // Not switches: no leading '/' or '-', a longer or shorter name, a bare prefix.
      {{u"Regserver"}, A::RunSession},
      {{u"/Regservers"}, A::RunSession},
      {{u"/Regserve"}, A::RunSession},
      {{u"/"}, A::RunSession},
      {{u""}, A::RunSession},
      {{u"\\Regserver"}, A::RunSession},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (auto& a : c.args) shown += std::string(a.begin(), a.end()) + " ";
    EXPECT_EQ(decide(c.args), c.action) << shown;
  }
}

TEST(ParentTitle, Table) {
  struct Case {
    std::u16string title;
    bool accepted;
  } cases[] = {
      {u"VeloxVirtualAppWinClientServer", true},
      {u"veloxvirtualappwinclientserver", true},
      {u"VELOXVIRTUALAPPWINCLIENTSERVER - session 7", true},
      {u"", true},  // nothing could be read
      {u"VeloxVirtualApp", false},
      {u"VeloxVirtualAppWinClientServe", false},
      {u"VeloxVirtualAppWinClientServeR", true},
      {u"Notepad", false},
      {u"XeloxVirtualAppWinClientServer", false},
      // Only A-Z fold: a dotted capital I, which a locale-aware lower-casing turns into 'i', does not.
      {u"VeloxV\u0130rtualAppWinClientServer", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parent_title_accepted(c.title), c.accepted) << std::string(c.title.begin(), c.title.end());
  }
}

}  // namespace
}  // namespace kestrel
