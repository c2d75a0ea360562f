#pragma once
// A locale whose decimal point is ',' for tests that prove what the locale changes and
// what it does not, and a thread switched to it for the life of an object.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include <locale.h>

namespace wvtest {

// The name of an installed locale whose decimal point is ','; empty when none is.
// The build generates one for these tests (under LOCPATH) and names it in
// WV_TEST_COMMA_LOCALE: that one must load, so its absence is a failure, not a skip.
inline std::string CommaLocale()
{
    const char* generated = std::getenv("WV_TEST_COMMA_LOCALE");
    std::vector<std::string> names = {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "de_DE@euro", "fr_FR.UTF-8",
                                      "fr_FR.utf8", "nl_NL.UTF-8", "es_ES.UTF-8", "it_IT.UTF-8", "ru_RU.UTF-8"};
    if (generated)
        names.insert(names.begin(), generated);
    for (const std::string& name : names) {
        locale_t loc = ::newlocale(LC_ALL_MASK, name.c_str(), static_cast<locale_t>(nullptr));
        if (!loc)
            continue;
        locale_t old = ::uselocale(loc);
        bool comma = std::string(::localeconv()->decimal_point) == ",";
        ::uselocale(old);
        ::freelocale(loc);
        if (comma)
            return name;
    }
    if (generated)
        ADD_FAILURE() << "the build generated the locale " << generated << " for the tests, but it does not load"
                      << " with a decimal comma (LOCPATH=" << (std::getenv("LOCPATH") ? std::getenv("LOCPATH") : "")
                      << ")";
    return {};
}

// The calling thread in the locale name (every category) until the object goes.
class ScopedThreadLocale {
public:
    explicit ScopedThreadLocale(const std::string& name)
        : loc_(::newlocale(LC_ALL_MASK, name.c_str(), static_cast<locale_t>(nullptr)))
    {
        if (loc_)
            old_ = ::uselocale(loc_);
    }
    ~ScopedThreadLocale()
    {
        if (loc_) {
            ::uselocale(old_);
            ::freelocale(loc_);
        }
    }
    ScopedThreadLocale(const ScopedThreadLocale&) = delete;
    ScopedThreadLocale& operator=(const ScopedThreadLocale&) = delete;

    explicit operator bool() const { return loc_ != static_cast<locale_t>(nullptr); }

private:
    locale_t loc_;
    locale_t old_ = static_cast<locale_t>(nullptr);
};

} // namespace wvtest
