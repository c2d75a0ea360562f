#pragma once
// Text routines shared by the settings store, its file format, the row table,
// the device record converters and the value engine: bounded copies into fixed
// character fields, cutting tokens off a text, adding and removing a fixed
// prefix and suffix, searching a string array, and sorting parallel string
// arrays by one of them.
//
// Comparisons that ignore letter case fold the ASCII letters only; every other
// byte (UTF-8 sequences included) compares as itself.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Copies at most size - 1 bytes of source into dest and ends it with a zero
// byte; returns dest. Nothing is written when dest is null or size is 0.
char* StrCopyBounded(std::string_view source, char* dest, size_t size);

// Copies text into a fixed field of size bytes, zero-terminated: places the
// whole text when it is shorter than size, else its first size - 1 bytes.
// Returns the number of bytes placed (0 when dest is null or size is 0).
size_t CopyToBuffer(const std::string& text, char* dest, size_t size);

// Gives buffer a new zero-terminated copy of text (length + 1 bytes); returns
// the text's length.
size_t NewCharBuffer(const std::string& text, std::unique_ptr<char[]>& buffer);

// The text of source before the first occurrence of delimiter, or the whole
// source when the delimiter does not occur (an empty delimiter never occurs).
// With remove set, source loses the token and the delimiter (it becomes empty
// when the delimiter does not occur); without it, source is unchanged.
std::string TakeToken(std::string& source, std::string_view delimiter, bool remove);

// s with prefix in front unless it already starts with it (case-sensitive).
std::string EnsurePrefix(std::string_view s, std::string_view prefix);

// s with suffix behind unless it already ends with it (case-sensitive).
std::string EnsureSuffix(std::string_view s, std::string_view suffix);

// EnsureSuffix(EnsurePrefix(s, prefix), suffix).
std::string Enclose(std::string_view s, std::string_view prefix, std::string_view suffix);

// s without a leading prefix and without a trailing suffix, each removed only
// where present (case-sensitive).
std::string StripAffixes(std::string_view s, std::string_view prefix, std::string_view suffix);

// Index of the first element of array equal to text (byte for byte when
// caseSensitive, else ignoring letter case); -1 when there is none.
int FindInStringArray(std::string_view text, const std::vector<std::string>& array, bool caseSensitive);

// Compares two texts ignoring the letter case of ASCII letters: negative, 0 or
// positive as a is less than, equal to or greater than b.
int CompareNoCase(std::string_view a, std::string_view b);

// Sorts the rows of a table of columns in place by the texts of column
// keyColumn, compared without regard to letter case: ascending when ascending
// is set, else descending. Row i is element i of every column. Rows with equal
// keys keep their order. Nothing changes when keyColumn is out of range, a
// column is missing, or the columns differ in length.
void SortStringArray(size_t keyColumn, const std::vector<std::vector<std::string>*>& table, bool ascending);
