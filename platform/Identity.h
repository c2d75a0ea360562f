#pragma once
// Who and what is running: the program's version and the logged-on account's
// domain.
//
// The domain of an account: an account name that carries its domain, as
// directory services present them ("OFFICE\tech1" from winbind, or
// "tech1@office.example" from SSSD), gives that domain. A local account gives
// the NIS/YP domain of the machine when one is set, else the machine's short
// host name, the way a local account of a desktop system is qualified by its
// computer name. The workgroup of the machine's SMB configuration is the
// fallback when no account name can be found.

#include <string>
#include <string_view>

namespace wv {

// The program's version as the build gave it, e.g. "0.1.0.0".
std::string ProgramVersionText();

// The logged-on (effective) user's account as "DOMAIN\user" (see above);
// empty when the user has no account entry or no domain can be found.
std::string LogonAccountName();

// Builds the "DOMAIN\user" form of a login name: a name that holds a '\'
// already is returned as it is; "user@domain" becomes "domain\user"; any other
// name is qualified by defaultDomain (empty when defaultDomain is empty).
std::string QualifiedAccountName(std::string_view loginName, std::string_view defaultDomain);

// The machine's NIS/YP domain, else its short host name; empty when neither is set.
std::string LocalDomainName();

// The "workgroup" value of section [global] of the SMB configuration
// (/etc/samba/smb.conf); empty when the file or the value is missing.
std::string WorkgroupName();

// The "workgroup" value of section [global] of an SMB configuration text.
std::string WorkgroupFromSmbConfig(std::string_view text);

} // namespace wv
