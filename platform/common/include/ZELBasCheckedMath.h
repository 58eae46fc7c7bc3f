/// @file ZELBasCheckedMath.h
/// The code base's one check of a size's arithmetic: a block size computed
/// from counts that would wrap around raises std::bad_alloc, as a block
/// that cannot be had does.
#pragma once

#include <cstddef>
#include <new>

/// `count` elements of `size` bytes; std::bad_alloc when that does not fit
/// a size_t.
inline size_t ZELBasCheckedMultiply(size_t count, size_t size) {
  size_t bytes;
  if (__builtin_mul_overflow(count, size, &bytes)) throw std::bad_alloc();
  return bytes;
}

/// `a + b`; std::bad_alloc when that does not fit a size_t.
inline size_t ZELBasCheckedAdd(size_t a, size_t b) {
  size_t sum;
  if (__builtin_add_overflow(a, b, &sum)) throw std::bad_alloc();
  return sum;
}
