#include "foundation/StringUtils.h"

#include "platform/AsciiCase.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

char* StrCopyBounded(std::string_view source, char* dest, size_t size)
{
    if (!dest || size == 0)
        return dest;
    size_t n = std::min(source.size(), size - 1);
    if (n > 0)
        std::memcpy(dest, source.data(), n);
    dest[n] = '\0';
    return dest;
}

size_t CopyToBuffer(const std::string& text, char* dest, size_t size)
{
    if (!dest || size == 0)
        return 0;
    StrCopyBounded(text, dest, size);
    return std::min(text.size(), size - 1);
}

size_t NewCharBuffer(const std::string& text, std::unique_ptr<char[]>& buffer)
{
    buffer = std::make_unique<char[]>(text.size() + 1);
    if (!text.empty())
        std::memcpy(buffer.get(), text.data(), text.size());
    buffer[text.size()] = '\0';
    return text.size();
}

std::string TakeToken(std::string& source, std::string_view delimiter, bool remove)
{
    if (source.empty())
        return {};
    size_t at = delimiter.empty() ? std::string::npos : source.find(delimiter);
    if (at == std::string::npos) {
        std::string token = source;
        if (remove)
            source.clear();
        return token;
    }
    std::string token = source.substr(0, at);
    if (remove)
        source.erase(0, at + delimiter.size());
    return token;
}

std::string EnsurePrefix(std::string_view s, std::string_view prefix)
{
    if (StartsWith(s, prefix))
        return std::string(s);
    std::string result(prefix);
    result += s;
    return result;
}

std::string EnsureSuffix(std::string_view s, std::string_view suffix)
{
    std::string result(s);
    if (!EndsWith(s, suffix))
        result += suffix;
    return result;
}

std::string Enclose(std::string_view s, std::string_view prefix, std::string_view suffix)
{
    return EnsureSuffix(EnsurePrefix(s, prefix), suffix);
}

std::string StripAffixes(std::string_view s, std::string_view prefix, std::string_view suffix)
{
    if (!prefix.empty() && StartsWith(s, prefix))
        s.remove_prefix(prefix.size());
    if (!suffix.empty() && EndsWith(s, suffix))
        s.remove_suffix(suffix.size());
    return std::string(s);
}

int CompareNoCase(std::string_view a, std::string_view b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(wv::LowerAscii(a[i]));
        const auto y = static_cast<unsigned char>(wv::LowerAscii(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

int FindInStringArray(std::string_view text, const std::vector<std::string>& array, bool caseSensitive)
{
    for (size_t i = 0; i < array.size(); ++i) {
        bool equal = caseSensitive ? array[i] == text : CompareNoCase(array[i], text) == 0;
        if (equal)
            return static_cast<int>(i);
    }
    return -1;
}

void SortStringArray(size_t keyColumn, const std::vector<std::vector<std::string>*>& table, bool ascending)
{
    if (keyColumn >= table.size() || !table[keyColumn])
        return;
    const std::vector<std::string>& keys = *table[keyColumn];
    const size_t rows = keys.size();
    for (const auto* column : table) {
        if (!column || column->size() != rows)
            return;
    }
    // Order the row numbers first, then move every column once. The sort is
    // stable, so rows whose keys compare equal keep their relative order.
    std::vector<size_t> order(rows);
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        int c = CompareNoCase(keys[a], keys[b]);
        return ascending ? c < 0 : c > 0;
    });
    for (size_t c = 0; c < table.size(); ++c) {
        auto* column = table[c];
        // A column listed twice is moved once.
        if (std::find(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(c), column) !=
            table.begin() + static_cast<std::ptrdiff_t>(c))
            continue;
        std::vector<std::string> sorted;
        sorted.reserve(rows);
        for (size_t i : order)
            sorted.push_back(std::move((*column)[i]));
        column->swap(sorted);
    }
}
