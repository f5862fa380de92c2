#pragma once
// Where a program's bytes go when they are written anew, in order: a file, or
// a sum of them.

#include <windows.h>

#include <string_view>

namespace sheen {

// Receives a program's new bytes, in order. Put returns ERROR_SUCCESS or the
// error that ends the writing.
class ByteSink {
  public:
    virtual DWORD Put(std::string_view bytes) = 0;

  protected:
    ~ByteSink() = default;
};

// A sink writing to a file handle at its current position.
class FileSink final : public ByteSink {
  public:
    explicit FileSink(HANDLE file) : file_(file) {}
    DWORD Put(std::string_view bytes) override;

  private:
    HANDLE file_;
};

} // namespace sheen
