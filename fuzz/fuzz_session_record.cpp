// Decodes arbitrary bytes as a session record, once as given and once with a valid header put in
// front of the body (so the body's fields and texts are explored without first guessing the
// header). Whatever decodes must encode back to the very same bytes (the form has no slack) and
// decode again to an equal record.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "outside/sessiondata/core/session_record.h"

namespace {

void Check(const uint8_t* data, size_t size) {
  std::optional<uint32_t> declared = session_record::DeclaredSize(data, size);
  std::optional<session_record::Record> record = session_record::Decode(data, size);
  if (!record) return;
  if (!declared || *declared != size) std::abort();
  std::optional<std::vector<unsigned char>> again = session_record::Encode(*record);
  if (!again || again->size() != size || std::memcmp(again->data(), data, size) != 0) std::abort();
  std::optional<session_record::Record> twice = session_record::Decode(again->data(), again->size());
  if (!twice || *twice != *record) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Check(data, size);
  std::vector<uint8_t> framed(session_record::kHeaderSize + size);
  const uint32_t total = static_cast<uint32_t>(framed.size());
  const uint8_t header[session_record::kHeaderSize] = {
      'K', 'S', 'L', 'D', 1, 0, 16, 0, static_cast<uint8_t>(total), static_cast<uint8_t>(total >> 8),
      static_cast<uint8_t>(total >> 16), static_cast<uint8_t>(total >> 24), 0, 0, 0, 0};
  std::memcpy(framed.data(), header, sizeof(header));
  if (size) std::memcpy(framed.data() + sizeof(header), data, size);
  Check(framed.data(), framed.size());
  return 0;
}
