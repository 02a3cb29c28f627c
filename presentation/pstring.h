// Fixed-capacity strings of the presentation and the scene engine.
//
// The show's texts are length-prefixed strings of at most N characters (255 unless a
// record says otherwise). Every assignment and append cuts to the capacity, so no
// caller has to think about overflow; the text is always NUL-terminated as well, so
// it can be handed to the framework as it is.
// Depends on: nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

template <size_t N>
class PasString {
  static_assert(N >= 1 && N <= 255, "length-prefixed strings hold at most 255 characters");

 public:
  static constexpr size_t Capacity = N;

  PasString() = default;
  PasString(const char *text) { Assign(text ? std::string_view(text) : std::string_view()); }
  PasString(std::string_view text) { Assign(text); }

  PasString &operator=(std::string_view text) { Assign(text); return *this; }
  PasString &operator=(const char *text) { Assign(text ? std::string_view(text) : std::string_view()); return *this; }

  // Appends what fits; the rest is cut, as with any assignment to a short string.
  PasString &operator+=(std::string_view text) {
    size_t n = text.size() < N - len_ ? text.size() : N - len_;
    std::memcpy(text_ + len_, text.data(), n);
    len_ = static_cast<uint8_t>(len_ + n);
    text_[len_] = 0;
    return *this;
  }
  PasString &operator+=(char c) { return *this += std::string_view(&c, 1); }

  size_t size() const { return len_; }
  bool empty() const { return len_ == 0; }
  bool full() const { return len_ == N; }
  const char *c_str() const { return text_; }
  operator std::string_view() const { return std::string_view(text_, len_); }
  char operator[](size_t i) const { return text_[i]; }

  friend bool operator==(const PasString &a, std::string_view b) { return std::string_view(a) == b; }

 private:
  void Assign(std::string_view text) {
    size_t n = text.size() < N ? text.size() : N;
    std::memmove(text_, text.data(), n);
    len_ = static_cast<uint8_t>(n);
    text_[n] = 0;
  }

  uint8_t len_ = 0;
  char text_[N + 1] = {};
};

// The 255-character string of the show's texts.
using ShortString = PasString<255>;

template <size_t N>
PasString<N> operator+(PasString<N> a, std::string_view b) {
  a += b;
  return a;
}
