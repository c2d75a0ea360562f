#include "platform/LocaleCountry.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include <langinfo.h>
#include <locale.h>

namespace wv {

namespace {

struct TerritoryCode {
    std::string_view territory;
    std::string_view code;
};

// Territory to telephone country code, sorted by territory: every territory the
// C library's locale sources define a telephone prefix for, plus the members of
// the North American numbering plan (code 1) that have no locale of their own.
constexpr std::array kTerritoryCodes = std::to_array<TerritoryCode>({
    {"AD", "376"}, {"AE", "971"}, {"AF", "93"}, {"AG", "1"}, {"AI", "1"}, {"AL", "355"}, {"AM", "374"},
    {"AR", "54"}, {"AS", "1"}, {"AT", "43"}, {"AU", "61"}, {"AW", "297"}, {"AZ", "994"}, {"BA", "387"},
    {"BB", "1"}, {"BD", "880"}, {"BE", "32"}, {"BG", "359"}, {"BH", "973"}, {"BM", "1"}, {"BO", "591"},
    {"BR", "55"}, {"BS", "1"}, {"BT", "975"}, {"BW", "267"}, {"BY", "375"}, {"CA", "1"}, {"CD", "243"},
    {"CH", "41"}, {"CL", "56"}, {"CN", "86"}, {"CO", "57"}, {"CR", "506"}, {"CU", "53"}, {"CW", "599"},
    {"CY", "357"}, {"CZ", "420"}, {"DE", "49"}, {"DJ", "253"}, {"DK", "45"}, {"DM", "1"}, {"DO", "1"},
    {"DZ", "213"}, {"EC", "593"}, {"EE", "372"}, {"EG", "20"}, {"ER", "291"}, {"ES", "34"}, {"ET", "251"},
    {"FI", "358"}, {"FJ", "679"}, {"FO", "298"}, {"FR", "33"}, {"GB", "44"}, {"GD", "1"}, {"GE", "995"},
    {"GH", "233"}, {"GL", "299"}, {"GR", "30"}, {"GT", "502"}, {"GU", "1"}, {"HK", "852"}, {"HN", "504"},
    {"HR", "385"}, {"HT", "509"}, {"HU", "36"}, {"ID", "62"}, {"IE", "353"}, {"IL", "972"}, {"IN", "91"},
    {"IQ", "964"}, {"IR", "98"}, {"IS", "354"}, {"IT", "39"}, {"JM", "1"}, {"JO", "962"}, {"JP", "81"},
    {"KE", "254"}, {"KG", "996"}, {"KH", "855"}, {"KN", "1"}, {"KR", "82"}, {"KW", "965"}, {"KY", "1"},
    {"KZ", "7"}, {"LA", "856"}, {"LB", "961"}, {"LC", "1"}, {"LI", "423"}, {"LK", "94"}, {"LT", "370"},
    {"LU", "352"}, {"LV", "371"}, {"LY", "218"}, {"MA", "212"}, {"ME", "382"}, {"MG", "261"}, {"MK", "389"},
    {"MM", "95"}, {"MN", "976"}, {"MP", "1"}, {"MS", "1"}, {"MT", "356"}, {"MU", "230"}, {"MV", "960"},
    {"MX", "52"}, {"MY", "60"}, {"NG", "234"}, {"NI", "505"}, {"NL", "31"}, {"NO", "47"}, {"NP", "977"},
    {"NU", "683"}, {"NZ", "64"}, {"OM", "968"}, {"PA", "507"}, {"PE", "51"}, {"PG", "675"}, {"PH", "63"},
    {"PK", "92"}, {"PL", "48"}, {"PR", "1"}, {"PT", "351"}, {"PY", "595"}, {"QA", "974"}, {"RO", "40"},
    {"RS", "381"}, {"RU", "7"}, {"RW", "250"}, {"SA", "966"}, {"SC", "248"}, {"SD", "249"}, {"SE", "46"},
    {"SG", "65"}, {"SI", "386"}, {"SK", "421"}, {"SN", "221"}, {"SO", "252"}, {"SS", "211"}, {"SV", "503"},
    {"SX", "1"}, {"SY", "963"}, {"TC", "1"}, {"TH", "66"}, {"TJ", "992"}, {"TM", "993"}, {"TN", "216"},
    {"TO", "676"}, {"TR", "90"}, {"TT", "1"}, {"TW", "886"}, {"TZ", "255"}, {"UA", "380"}, {"UG", "256"},
    {"US", "1"}, {"UY", "598"}, {"UZ", "998"}, {"VC", "1"}, {"VE", "58"}, {"VG", "1"}, {"VI", "1"},
    {"VN", "84"}, {"VU", "678"}, {"WS", "685"}, {"YE", "967"}, {"ZA", "27"}, {"ZM", "260"}, {"ZW", "263"},
});

static_assert(std::is_sorted(kTerritoryCodes.begin(), kTerritoryCodes.end(),
                             [](const TerritoryCode& a, const TerritoryCode& b) { return a.territory < b.territory; }));

// The value of an environment variable; "" when it is unset or empty.
std::string_view EnvValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string_view(value) : std::string_view();
}

// The locale name the environment gives for telephone conventions, by the
// POSIX order of precedence.
std::string_view TelephoneLocaleName()
{
    for (const char* name : {"LC_ALL", "LC_TELEPHONE", "LANG"}) {
        std::string_view value = EnvValue(name);
        if (!value.empty())
            return value;
    }
    return {};
}

// The telephone prefix the installed locale of the environment defines; "" when
// that locale is not installed or defines none.
std::string InstalledLocalePrefix()
{
    locale_t loc = ::newlocale(LC_TELEPHONE_MASK, "", static_cast<locale_t>(nullptr));
    if (!loc)
        return {};
    const char* prefix = ::nl_langinfo_l(_NL_TELEPHONE_INT_PREFIX, loc);
    std::string code = prefix ? prefix : "";
    ::freelocale(loc);
    return code;
}

// text in capitals when it holds only ASCII letters, else "".
std::string CapitalLetters(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z')
            return {};
        out += c;
    }
    return out;
}

bool IsDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::string TerritoryOfLocaleName(std::string_view localeName)
{
    // The language part ends at the first '_'; a codeset or modifier before it
    // means there is no territory ("C.UTF-8", "de@euro").
    size_t underscore = localeName.find('_');
    if (underscore == std::string_view::npos || localeName.substr(0, underscore).find_first_of(".@/") !=
                                                    std::string_view::npos)
        return {};
    std::string_view rest = localeName.substr(underscore + 1);
    return CapitalLetters(rest.substr(0, rest.find_first_of(".@")));
}

std::string CountryCodeOfTerritory(std::string_view territory)
{
    std::string key = CapitalLetters(territory);
    if (key.empty())
        return {};
    auto it = std::lower_bound(kTerritoryCodes.begin(), kTerritoryCodes.end(), key,
                               [](const TerritoryCode& entry, const std::string& k) { return entry.territory < k; });
    if (it == kTerritoryCodes.end() || it->territory != key)
        return {};
    return std::string(it->code);
}

std::string LocaleCountryCode()
{
    std::string code = InstalledLocalePrefix();
    if (IsDigits(code))
        return code;
    return CountryCodeOfTerritory(TerritoryOfLocaleName(TelephoneLocaleName()));
}

} // namespace wv
