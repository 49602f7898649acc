#pragma once

namespace json::detail {

/// Writes a finite double exactly as printf's "%.17g" does (the serializer's
/// number format) and returns the end of the text; at most 24 bytes. The
/// digits are the exact binary value rounded to 17 significant digits, half
/// to even; text style, stripped trailing zeros and the two-digit exponent
/// follow "%g".
char* writeDouble17(double value, char* out) noexcept;

} // namespace json::detail
