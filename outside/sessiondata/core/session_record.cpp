#include "outside/sessiondata/core/session_record.h"

#include <cstring>

namespace session_record {
namespace {

// Little-endian writer into a buffer sized beforehand.
class Writer {
 public:
  explicit Writer(std::vector<unsigned char>& out) : out_(out) {}
  void u16(uint16_t v) {
    out_.push_back(static_cast<unsigned char>(v));
    out_.push_back(static_cast<unsigned char>(v >> 8));
  }
  void u32(uint32_t v) {
    u16(static_cast<uint16_t>(v));
    u16(static_cast<uint16_t>(v >> 16));
  }
  void i16(int16_t v) { u16(static_cast<uint16_t>(v)); }
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void bytes(const unsigned char* p, size_t n) { out_.insert(out_.end(), p, p + n); }
  void text(const std::optional<std::u16string>& t) {
    if (!t) {
      u32(kNullText);
      return;
    }
    u32(static_cast<uint32_t>(t->size()));
    for (char16_t c : *t) u16(static_cast<uint16_t>(c));
  }

 private:
  std::vector<unsigned char>& out_;
};

// Bounds-checked little-endian reader; every read first checks what is left.
class Reader {
 public:
  Reader(const unsigned char* data, size_t size) : data_(data), size_(size) {}
  size_t left() const { return size_ - pos_; }
  size_t pos() const { return pos_; }
  bool u16(uint16_t& v) {
    if (left() < 2) return false;
    v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return true;
  }
  bool u32(uint32_t& v) {
    uint16_t lo = 0, hi = 0;
    if (left() < 4 || !u16(lo) || !u16(hi)) return false;
    v = lo | (static_cast<uint32_t>(hi) << 16);
    return true;
  }
  bool i16(int16_t& v) {
    uint16_t u = 0;
    if (!u16(u)) return false;
    v = static_cast<int16_t>(u);
    return true;
  }
  bool i32(int32_t& v) {
    uint32_t u = 0;
    if (!u32(u)) return false;
    v = static_cast<int32_t>(u);
    return true;
  }
  bool bytes(unsigned char* out, size_t n) {
    if (left() < n) return false;
    std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return true;
  }
  bool text(std::optional<std::u16string>& t) {
    uint32_t units = 0;
    if (!u32(units)) return false;
    if (units == kNullText) {
      t.reset();
      return true;
    }
    if (units > kMaxTextUnits || left() / 2 < units) return false;
    std::u16string s(units, u'\0');
    for (uint32_t i = 0; i < units; ++i) {
      uint16_t c = 0;
      u16(c);
      if (c == 0) {
        Wipe(s);
        return false;
      }
      s[i] = static_cast<char16_t>(c);
    }
    t = std::move(s);
    return true;
  }

 private:
  const unsigned char* data_;
  size_t size_;
  size_t pos_ = 0;
};

struct Header {
  uint32_t magic = 0;
  uint16_t version = 0;
  uint16_t header_size = 0;
  uint32_t total = 0;
  uint32_t reserved = 0;
};

bool ReadHeader(Reader& in, Header& h) {
  return in.u32(h.magic) && in.u16(h.version) && in.u16(h.header_size) && in.u32(h.total) && in.u32(h.reserved) &&
         h.magic == kMagic && h.version == kVersion && h.header_size == kHeaderSize && h.reserved == 0;
}

size_t TextSize(const std::optional<std::u16string>& t) { return 4 + (t ? t->size() * 2 : 0); }

bool Fits(const std::optional<std::u16string>& t) { return !t || TextFits(*t); }

}  // namespace

bool Record::operator==(const Record& o) const {
  return SessionMode == o.SessionMode && ImeEnabled == o.ImeEnabled && ColorDepth == o.ColorDepth &&
         SessionWindowHandle == o.SessionWindowHandle && RedirectPorts == o.RedirectPorts &&
         RedirectPrinters == o.RedirectPrinters && RdpPort == o.RdpPort &&
         std::memcmp(SessionIdentity, o.SessionIdentity, sizeof(SessionIdentity)) == 0 &&
         AppCommandLine == o.AppCommandLine && Password == o.Password && UserName == o.UserName &&
         Server == o.Server && DesktopHeight == o.DesktopHeight && DesktopWidth == o.DesktopWidth &&
         FontSmoothing == o.FontSmoothing;
}

bool TextFits(const std::u16string& text) {
  return text.size() <= kMaxTextUnits && text.find(u'\0') == std::u16string::npos;
}

std::optional<size_t> EncodedSize(const Record& r) {
  if (!Fits(r.AppCommandLine) || !Fits(r.Password) || !Fits(r.UserName) || !Fits(r.Server)) return std::nullopt;
  return kHeaderSize + kFixedSize + TextSize(r.AppCommandLine) + TextSize(r.Password) + TextSize(r.UserName) +
         TextSize(r.Server);
}

std::optional<std::vector<unsigned char>> Encode(const Record& r) {
  std::optional<size_t> size = EncodedSize(r);
  if (!size) return std::nullopt;
  std::vector<unsigned char> out;
  out.reserve(*size);
  Writer w(out);
  w.u32(kMagic);
  w.u16(kVersion);
  w.u16(static_cast<uint16_t>(kHeaderSize));
  w.u32(static_cast<uint32_t>(*size));
  w.u32(0);
  w.i32(r.SessionMode);
  w.i32(r.ImeEnabled);
  w.i32(r.ColorDepth);
  w.u32(r.SessionWindowHandle);
  w.i16(r.RedirectPorts);
  w.i16(r.RedirectPrinters);
  w.i32(r.RdpPort);
  w.bytes(r.SessionIdentity, sizeof(r.SessionIdentity));
  w.i32(r.DesktopHeight);
  w.i32(r.DesktopWidth);
  w.i32(r.FontSmoothing);
  w.text(r.AppCommandLine);
  w.text(r.Password);
  w.text(r.UserName);
  w.text(r.Server);
  return out;
}

std::optional<uint32_t> DeclaredSize(const unsigned char* data, size_t size) {
  if (!data) return std::nullopt;
  Reader in(data, size < kHeaderSize ? size : kHeaderSize);
  Header h;
  if (!ReadHeader(in, h)) return std::nullopt;
  return h.total;
}

std::optional<Record> Decode(const unsigned char* data, size_t size) {
  if (!data) return std::nullopt;
  Reader in(data, size);
  Header h;
  if (!ReadHeader(in, h) || h.total != size || h.total < kMinSize || h.total > kMaxSize) return std::nullopt;
  Record r;
  bool ok = in.i32(r.SessionMode) && in.i32(r.ImeEnabled) && in.i32(r.ColorDepth) && in.u32(r.SessionWindowHandle) &&
            in.i16(r.RedirectPorts) && in.i16(r.RedirectPrinters) && in.i32(r.RdpPort) &&
            in.bytes(r.SessionIdentity, sizeof(r.SessionIdentity)) && in.i32(r.DesktopHeight) &&
            in.i32(r.DesktopWidth) && in.i32(r.FontSmoothing) && in.text(r.AppCommandLine) && in.text(r.Password) &&
            in.text(r.UserName) && in.text(r.Server) && in.left() == 0;
  if (!ok) {
    if (r.Password) Wipe(*r.Password);
    return std::nullopt;
  }
  return r;
}

void Wipe(void* data, size_t size) {
  volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) p[i] = 0;
}

void Wipe(std::u16string& text) {
  if (!text.empty()) Wipe(&text[0], text.size() * sizeof(char16_t));
}

void Wipe(std::vector<unsigned char>& bytes) {
  if (!bytes.empty()) Wipe(bytes.data(), bytes.size());
}

}  // namespace session_record
