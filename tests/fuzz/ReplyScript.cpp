#include "tests/fuzz/ReplyScript.h"

#include <algorithm>

void ReplyRecord::AppendTo(std::string& input) const {
  input += static_cast<char>(flags);
  if (Has(kDelayed)) {
    input += static_cast<char>(delay);
  }
  if (Has(kSpaced)) {
    input += static_cast<char>(gap);
  }
  const size_t length = std::min<size_t>(bytes.size(), UINT8_MAX);
  input += static_cast<char>(length);
  input.append(bytes, 0, length);
}

uint8_t ReplyScript::TakeByte() {
  return at_ < input_.size() ? input_[at_++] : 0;
}

ReplyRecord ReplyScript::TakeRecord() {
  ReplyRecord record;
  record.flags = TakeByte();
  if (record.Has(ReplyRecord::kDelayed)) {
    record.delay = TakeByte();
  }
  if (record.Has(ReplyRecord::kSpaced)) {
    record.gap = TakeByte();
  }
  const size_t length = std::min<size_t>(TakeByte(), input_.size() - at_);
  record.bytes.assign(reinterpret_cast<const char*>(input_.data() + at_), length);
  at_ += length;
  return record;
}
