#pragma once
// The country of the user's locale as its international telephone code ("1"
// for the United States and Canada, "44" for the United Kingdom, "49" for
// Germany): the number a desktop locale names its country by, and the one the
// display units choose their defaults from.
//
// The locale is the one the environment gives for telephone conventions
// (LC_ALL, else LC_TELEPHONE, else LANG; an empty variable counts as unset).
// When that locale is installed, its own telephone prefix answers. When it is
// not installed (a machine where only the C locales were generated), or gives
// no prefix, the territory of its name ("en_US.UTF-8" -> "US") is looked up in
// the program's table of territories. A locale without a territory ("C",
// "POSIX", "C.UTF-8") or with one the table lacks gives "".

#include <string>
#include <string_view>

namespace wv {

// The telephone country code of the user's locale, digits only; "" when the
// locale names no country.
std::string LocaleCountryCode();

// The territory of a locale name "language[_TERRITORY][.codeset][@modifier]",
// in capitals ("en_US.UTF-8" -> "US", "sr_RS@latin" -> "RS"); "" when the name
// has none.
std::string TerritoryOfLocaleName(std::string_view localeName);

// The telephone country code of a two-letter territory (ISO 3166, any letter
// case); "" for a territory the table lacks.
std::string CountryCodeOfTerritory(std::string_view territory);

} // namespace wv
