// The formatting engine behind the wide printf family.
#pragma once

#include <stdarg.h>
#include <stddef.h>

namespace ce::kernel {

// Writes into a buffer of `capacity` units (the terminator included) and counts what the
// whole result would need.
class FormatSink {
  public:
    FormatSink(char16_t* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}
    void put(char16_t c);
    void put(char16_t c, size_t count);  // count copies; no loop past the end of the buffer
    void finish();                       // terminates the buffer (when capacity > 0)
    size_t written() const { return length_; }
    size_t total() const { return total_; }
    bool truncated() const { return total_ > length_; }

  private:
    char16_t* buffer_;
    size_t capacity_;
    size_t length_ = 0;
    size_t total_ = 0;
};

// allowFloat: %e %f %g take a double (the CRT); USER's wsprintf has no floating point.
void formatW(FormatSink& out, const char16_t* format, va_list args, bool allowFloat);

}  // namespace ce::kernel
