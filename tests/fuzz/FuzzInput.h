// Reads a fuzzer's bytes as a stream of numbers and blocks; past the end every number is 0 and
// every block empty, so a target never needs to check what it takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class FuzzInput {
public:
  FuzzInput(const uint8_t *data, size_t size) : data_(data), size_(size) {}

  template <typename T> T Take() {
    T value{};
    const size_t n = sizeof(T) < size_ - at_ ? sizeof(T) : size_ - at_;
    std::memcpy(&value, data_ + at_, n);
    at_ += n;
    return value;
  }
  // At most `wanted` of the bytes left, taken from the stream.
  const uint8_t *Block(size_t wanted, size_t &got) {
    got = wanted < size_ - at_ ? wanted : size_ - at_;
    const uint8_t *block = data_ + at_;
    at_ += got;
    return block;
  }
  const uint8_t *Rest(size_t &got) { return Block(size_ - at_, got); }
  bool Empty() const { return at_ >= size_; }

private:
  const uint8_t *data_;
  size_t size_;
  size_t at_ = 0;
};
