// Dialog resources of the ActiveX host and the registration script language.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "connector/core/dialog_template.h"
#include "connector/core/registry_script.h"

namespace kestrel {
namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
  put16(b, uint16_t(v));
  put16(b, uint16_t(v >> 16));
}
void put_text(Bytes& b, std::u16string_view t) {
  for (char16_t c : t) put16(b, c);
  put16(b, 0);
}
uint16_t get16(const Bytes& b, std::size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }

// The session window's initialisation data: one entry for control 1000, then the terminator.
const Bytes kInitBytes = {0, 0, 0, 0, 0, 3, 0, 0, 8, 0, 2, 0, 0, 0, 0, 0, 0x0B, 0, 0, 0, 0x0B, 0, 0, 0};

Bytes dlg_init_table() {
  Bytes b;
  put16(b, 1000);
  put16(b, 0x376);
  put32(b, 24);
  b.insert(b.end(), kInitBytes.begin(), kInitBytes.end());
  put16(b, 0);
  return b;
}

TEST(DlgInit, ReadsTheControlEntry) {
  Bytes table = dlg_init_table();
  auto entries = parse_dlg_init(table.data(), table.size());
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_EQ((*entries)[0].control, 1000);
  EXPECT_EQ((*entries)[0].message, kDlgInitOleControl);
  EXPECT_EQ(Bytes((*entries)[0].data, (*entries)[0].data + (*entries)[0].size), kInitBytes);
}

TEST(DlgInit, TruncatedTablesAreRejected) {
  Bytes table = dlg_init_table();
  // Cut at every length: an empty table has no entries; the entry without its terminator at the
  // end of the resource still counts; every other cut is refused rather than read past.
  for (std::size_t cut = 0; cut < table.size(); ++cut) {
    Bytes part(table.begin(), table.begin() + cut);
    auto entries = parse_dlg_init(part.data(), part.size());
    if (cut == 0) {
      ASSERT_TRUE(entries);
      EXPECT_TRUE(entries->empty());
    } else if (cut == table.size() - 2) {
      ASSERT_TRUE(entries);
      EXPECT_EQ(entries->size(), 1u);
    } else {
      EXPECT_FALSE(entries) << cut;
    }
  }
}

// An extended template like the session window's: a button and one control named by class identifier.
Bytes dialog_template(uint16_t extra_on_control) {
  Bytes b;
  put16(b, 1);
  put16(b, 0xFFFF);
  put32(b, 0);           // help id
  put32(b, 0);           // extended style
  put32(b, 0x80000048);  // WS_POPUP | DS_SETFONT | DS_FIXEDSYS
  put16(b, 2);
  for (int v : {0, 0, 320, 200}) put16(b, uint16_t(v));
  put16(b, 0);  // menu
  put16(b, 0);  // class
  put16(b, 0);  // title
  put16(b, 9);
  put16(b, 0);
  b.push_back(0);
  b.push_back(0);
  put_text(b, u"MS Shell Dlg");
  auto item = [&](uint32_t id, std::u16string_view cls, bool ordinal_class, std::u16string_view title,
                  uint16_t extra) {
    while (b.size() % 4) b.push_back(0);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0x50010000);
    for (int v : {262, 7, 50, 14}) put16(b, uint16_t(v));
    put32(b, id);
    if (ordinal_class) {
      put16(b, 0xFFFF);
      put16(b, 0x0080);
    } else {
      put_text(b, cls);
    }
    put_text(b, title);
    put16(b, extra);
    for (uint16_t i = 0; i < extra; ++i) b.push_back(uint8_t(0xA0 + i));
  };
  item(2, u"", true, u"X", 0);
  item(1000, u"{3523C2FB-4031-44E4-9A3B-F1E94986EE7F}", false, u"", extra_on_control);
  return b;
}

// Walks an extended template and returns, per item: id, class text ("#n" for an ordinal), extra bytes.
struct Item {
  uint32_t id;
  std::u16string cls;
  Bytes extra;
};
std::vector<Item> items_of(const Bytes& b) {
  std::size_t p = 26;
  auto skip_name = [&](std::u16string* out) {
    if (get16(b, p) == 0xFFFF) {
      if (out) *out = u"#" + std::u16string(1, char16_t(get16(b, p + 2)));
      p += 4;
      return;
    }
    while (get16(b, p) != 0) {
      if (out) out->push_back(char16_t(get16(b, p)));
      p += 2;
    }
    p += 2;
  };
  skip_name(nullptr);
  skip_name(nullptr);
  skip_name(nullptr);
  p += 6;
  skip_name(nullptr);
  std::vector<Item> items;
  uint16_t count = get16(b, 16);
  for (uint16_t i = 0; i < count; ++i) {
    p = (p + 3) & ~std::size_t(3);
    Item it;
    it.id = uint32_t(get16(b, p + 20) | (get16(b, p + 22) << 16));
    p += 24;
    skip_name(&it.cls);
    skip_name(nullptr);
    uint16_t extra = get16(b, p);
    p += 2;
    it.extra.assign(b.begin() + p, b.begin() + p + extra);
    p += extra;
    items.push_back(it);
  }
  EXPECT_EQ(p, b.size());
  return items;
}

TEST(AxTemplate, ControlItemsGetTheHostClassAndTheirCreationData) {
  for (uint16_t extra : {0, 3, 4}) {  // odd creation data shifts the padding of what follows
    Bytes source = dialog_template(extra);
    std::vector<AxTemplateItem> asked;
    auto rewritten = rewrite_ax_template(source.data(), source.size(), u"KestrelAxHost",
                                         [&](const AxTemplateItem& item) {
                                           asked.push_back(item);
                                           return Bytes{1, 2, 3, 4, 5};
                                         });
    ASSERT_TRUE(rewritten) << extra;
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].id, 1000u);
    EXPECT_EQ(asked[0].class_name, u"{3523C2FB-4031-44E4-9A3B-F1E94986EE7F}");
    ASSERT_EQ(rewritten->controls.size(), 1u);
    auto items = items_of(rewritten->bytes);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].id, 2u);
    EXPECT_EQ(items[0].cls, u"#\u0080");
    EXPECT_EQ(items[1].id, 1000u);
    EXPECT_EQ(items[1].cls, u"KestrelAxHost");
    EXPECT_EQ(items[1].extra, (Bytes{1, 2, 3, 4, 5}));
    // The header up to the first item is unchanged.
    EXPECT_TRUE(std::equal(source.begin(), source.begin() + 64, rewritten->bytes.begin()));
  }
}

TEST(AxTemplate, RejectsTruncatedOrPlainTemplates) {
  Bytes source = dialog_template(2);
  auto none = [](const AxTemplateItem&) { return Bytes{}; };
  for (std::size_t cut = 0; cut < source.size(); ++cut) {
    EXPECT_FALSE(rewrite_ax_template(source.data(), cut, u"H", none)) << cut;
  }
  Bytes plain = source;
  plain[2] = 0;  // not the extended signature
  EXPECT_FALSE(rewrite_ax_template(plain.data(), plain.size(), u"H", none));
}

const char16_t kScript[] = uR"(HKCR
{
	NoRemove AppID
	{
		'%APPID%' = s 'KestrelChild'
		'KestrelChild.EXE'
		{
			val AppID = s '%APPID%'
		}
	}
	ForceRemove Kestrel.Test = s 'it''s 100%%' { val Count = d '0x10' }
}
)";

TEST(RegistryScript, ParsesKeysValuesAndReplacements) {
  auto roots = parse_registry_script(kScript, {{u"APPID", u"{386E969C-FF9B-431E-8859-AA7F6EF565E9}"}});
  ASSERT_TRUE(roots);
  ASSERT_EQ(roots->size(), 1u);
  const RegistryKey& hkcr = (*roots)[0];
  EXPECT_EQ(hkcr.name, u"HKCR");
  ASSERT_EQ(hkcr.children.size(), 2u);
  const RegistryKey& appid = hkcr.children[0];
  EXPECT_EQ(appid.name, u"AppID");
  EXPECT_TRUE(appid.no_remove);
  ASSERT_EQ(appid.children.size(), 2u);
  EXPECT_EQ(appid.children[0].name, u"{386E969C-FF9B-431E-8859-AA7F6EF565E9}");
  EXPECT_FALSE(appid.children[0].no_remove);
  ASSERT_EQ(appid.children[0].values.size(), 1u);
  EXPECT_EQ(appid.children[0].values[0].name, u"");
  EXPECT_EQ(appid.children[0].values[0].text, u"KestrelChild");
  EXPECT_EQ(appid.children[1].name, u"KestrelChild.EXE");
  ASSERT_EQ(appid.children[1].values.size(), 1u);
  EXPECT_EQ(appid.children[1].values[0].name, u"AppID");
  EXPECT_EQ(appid.children[1].values[0].text, u"{386E969C-FF9B-431E-8859-AA7F6EF565E9}");
  const RegistryKey& test = hkcr.children[1];
  EXPECT_TRUE(test.force_remove);
  ASSERT_EQ(test.values.size(), 2u);
  EXPECT_EQ(test.values[0].text, u"it's 100%");
  EXPECT_TRUE(test.values[1].is_dword);
  EXPECT_EQ(test.values[1].number, 16u);
}

TEST(RegistryScript, RejectsBrokenScripts) {
  const std::map<std::u16string, std::u16string> repl = {{u"APPID", u"x"}};
  const char16_t* broken[] = {
      u"HKCR { '%UNKNOWN%' }",     u"HKCR { 'open }", u"HKCR { Key",        u"HKCR { val = s 'x' }",
      u"HKCR { Key = q 'x' }",     u"HKCR",           u"HKCR { val V = d 'zz' }",
      u"HKCR { Key { val V = s } }",
  };
  for (std::size_t i = 0; i < std::size(broken); ++i) {
    EXPECT_FALSE(parse_registry_script(broken[i], repl)) << "script " << i;
  }
  EXPECT_TRUE(parse_registry_script(u"", repl));
}

}  // namespace
}  // namespace kestrel
