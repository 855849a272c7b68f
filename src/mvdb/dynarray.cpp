#include "mvdb/dynarray.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnolde::mvdb {

std::string_view ExtractField(std::string_view text, char mark, int index) {
  if (index < 1) return {};
  std::size_t start = 0;
  for (int i = 1; i < index; ++i) {
    std::size_t next = text.find(mark, start);
    if (next == std::string_view::npos) return {};
    start = next + 1;
  }
  std::size_t end = text.find(mark, start);
  return text.substr(start, end == std::string_view::npos ? text.size() - start : end - start);
}

int CountFields(std::string_view text, char mark) {
  if (text.empty()) return 0;
  int count = 1;
  for (char c : text) count += (c == mark);
  return count;
}

std::string ReplaceField(std::string_view text, char mark, int index, std::string_view field) {
  int existing = CountFields(text, mark);
  std::string out;
  if (index > existing) {
    // Pad with empty fields; an empty text counts as one empty field once padding starts.
    out.reserve(text.size() + static_cast<std::size_t>(index) + field.size());
    out.append(text);
    int have = existing == 0 ? 1 : existing;
    out.append(static_cast<std::size_t>(index - have), mark);
    out.append(field);
    return out;
  }
  std::size_t start = 0;
  for (int i = 1; i < index; ++i) start = text.find(mark, start) + 1;
  std::size_t end = text.find(mark, start);
  if (end == std::string_view::npos) end = text.size();
  out.reserve(text.size() - (end - start) + field.size());
  out.append(text.substr(0, start));
  out.append(field);
  out.append(text.substr(end));
  return out;
}

std::string_view FirstValue(std::string_view attribute) {
  for (std::size_t i = 0; i < attribute.size(); ++i) {
    if (attribute[i] == kVM || attribute[i] == kSVM) return attribute.substr(0, i);
  }
  return attribute;
}

void AttributeIndex::Reset(std::string_view text) {
  text_ = text;
  starts_.clear();
  scanned_ = 0;
  complete_ = text.empty();
  if (!text.empty()) starts_.push_back(0);
}

void AttributeIndex::ScanTo(int a) {
  const char* data = text_.data();
  const std::size_t size = text_.size();
  while (!complete_ && static_cast<int>(starts_.size()) < a) {
#if defined(__SSE2__)
    // Sixteen bytes at a time: every attribute mark of the block is recorded at once.
    if (scanned_ + 16 <= size) {
      __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + scanned_));
      auto marks =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(kAM))));
      while (marks != 0) {
        starts_.push_back(static_cast<std::uint32_t>(scanned_ + __builtin_ctz(marks) + 1));
        marks &= marks - 1;
      }
      scanned_ += 16;
      continue;
    }
#endif
    const void* hit = std::memchr(data + scanned_, kAM, size - scanned_);
    if (hit == nullptr) {
      scanned_ = size;
      complete_ = true;
    } else {
      scanned_ = static_cast<std::size_t>(static_cast<const char*>(hit) - data) + 1;
      starts_.push_back(static_cast<std::uint32_t>(scanned_));
    }
  }
  if (scanned_ >= size) complete_ = true;
}

std::string_view AttributeIndex::Attribute(int a) {
  if (a < 1) return {};
  ScanTo(a + 1);  // the start of the next attribute bounds this one
  if (static_cast<int>(starts_.size()) < a) return {};
  std::size_t start = starts_[static_cast<std::size_t>(a - 1)];
  std::size_t end = static_cast<int>(starts_.size()) > a ? starts_[static_cast<std::size_t>(a)] - 1
                                                         : text_.size();
  return text_.substr(start, end - start);
}

int AttributeIndex::Count() {
  ScanTo(1 << 30);
  return static_cast<int>(starts_.size());
}

}  // namespace varnolde::mvdb
