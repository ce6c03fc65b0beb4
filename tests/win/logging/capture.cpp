#include "tests/win/logging/capture.h"

#include <cwchar>

namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
long g_count = 0;
CapturedMessage g_last = {};
struct NodeCount {
  const _LogbookNode* node;
  long refs;
  long releases;
};
NodeCount g_nodes[32] = {};

NodeCount* Slot(const _LogbookNode* node) {
  for (NodeCount& n : g_nodes) {
    if (n.node == node) return &n;
  }
  for (NodeCount& n : g_nodes) {
    if (!n.node) {
      n.node = node;
      return &n;
    }
  }
  return nullptr;
}

}  // namespace

extern "C" {

void __cdecl _LogbookMainRef(_LogbookNode* node) {
  AcquireSRWLockExclusive(&g_lock);
  if (NodeCount* n = Slot(node)) ++n->refs;
  ReleaseSRWLockExclusive(&g_lock);
}

void __cdecl _LogbookMainRelease(_LogbookNode* node) {
  AcquireSRWLockExclusive(&g_lock);
  if (NodeCount* n = Slot(node)) ++n->releases;
  ReleaseSRWLockExclusive(&g_lock);
}

void __cdecl _LogbookMainMessageW(_LogbookNode* node, const wchar_t* text, unsigned long level, HINSTANCE module) {
  AcquireSRWLockExclusive(&g_lock);
  ++g_count;
  g_last.node = node;
  g_last.level = level;
  g_last.module = module;
  g_last.text_pointer = text;
  // Reads one character past the capture limit, so an unterminated text shows as too long.
  g_last.length = text ? wcsnlen(text, kCaptureChars + 1) : 0;
  size_t keep = g_last.length < kCaptureChars ? g_last.length : kCaptureChars;
  if (text) wmemcpy(g_last.text, text, keep);
  g_last.text[keep] = L'\0';
  ReleaseSRWLockExclusive(&g_lock);
}

long __cdecl CaptureCount() {
  AcquireSRWLockShared(&g_lock);
  long n = g_count;
  ReleaseSRWLockShared(&g_lock);
  return n;
}

bool __cdecl CaptureLast(CapturedMessage* out) {
  AcquireSRWLockShared(&g_lock);
  bool any = g_count > 0;
  if (any) *out = g_last;
  ReleaseSRWLockShared(&g_lock);
  return any;
}

void __cdecl CaptureReset() {
  AcquireSRWLockExclusive(&g_lock);
  g_count = 0;
  g_last = CapturedMessage{};
  ReleaseSRWLockExclusive(&g_lock);
}

long __cdecl CaptureRefs(const _LogbookNode* node) {
  AcquireSRWLockExclusive(&g_lock);
  NodeCount* n = Slot(node);
  long r = n ? n->refs : -1;
  ReleaseSRWLockExclusive(&g_lock);
  return r;
}

long __cdecl CaptureReleases(const _LogbookNode* node) {
  AcquireSRWLockExclusive(&g_lock);
  NodeCount* n = Slot(node);
  long r = n ? n->releases : -1;
  ReleaseSRWLockExclusive(&g_lock);
  return r;
}

}  // extern "C"
