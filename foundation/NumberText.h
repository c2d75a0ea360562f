#pragma once
// Numbers as text in the C locale's form (decimal point '.', no grouping),
// whatever locale the process or the calling thread has set. Every file format
// and protocol text goes through these.

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

// printf into a string, in the C locale.
std::string FormatCLocale(const char* format, ...) __attribute__((format(printf, 1, 2)));

// vprintf into a string, in the C locale.
std::string VFormatCLocale(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// Formats value with a format given at run time (a print format of a table or
// a file, "%.2f" say). The format must hold exactly one conversion, of a
// floating kind (e, E, f, F, g, G, a, A), with any flags, a width and a
// precision of at most 999 but no '*'; any other text is copied, "%%" gives
// '%'. A format that breaks these rules gives "%g" of the value.
std::string FormatDoubleC(double value, std::string_view format);

// As FormatDoubleC for an integer: one conversion d, i, u, o, x, X or c (any
// length modifier given is replaced by the one for long long); "%d" otherwise.
std::string FormatIntC(long long value, std::string_view format);

// Reads a number as strtod does in the C locale: leading blanks are skipped and
// the longest prefix that forms a number is read. consumed (when not null)
// receives the number of characters read, blanks included, 0 when there was
// no number, in which case the result is 0.
double ParseDoubleC(std::string_view text, size_t* consumed = nullptr);

// True when text, apart from blanks around it, is one number (as ParseDoubleC
// reads it); value receives it. value is left alone otherwise.
bool TryParseDoubleC(std::string_view text, double& value);
