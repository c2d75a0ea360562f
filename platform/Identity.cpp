#include "platform/Identity.h"

#include "platform/AsciiCase.h"
#include "platform/SafeFile.h"

#include <cerrno>
#include <vector>

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#ifndef WV_VERSION_TEXT
#define WV_VERSION_TEXT ""
#endif

namespace wv {

namespace {

// More than any Samba configuration holds.
constexpr uint64_t kMaxSmbConfBytes = 1024 * 1024;

std::string Trim(std::string_view s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(b, e - b + 1));
}

// The login name of the effective user; empty when it has no account entry.
std::string LoginName()
{
    long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<size_t>(hint) : 1024u);
    for (;;) {
        passwd entry{};
        passwd* found = nullptr;
        int rc = ::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc != 0 || !found || !found->pw_name)
            return {};
        return found->pw_name;
    }
}

} // namespace

std::string ProgramVersionText() { return WV_VERSION_TEXT; }

std::string QualifiedAccountName(std::string_view loginName, std::string_view defaultDomain)
{
    if (loginName.empty())
        return {};
    if (loginName.find('\\') != std::string_view::npos)
        return std::string(loginName);
    size_t at = loginName.rfind('@');
    if (at != std::string_view::npos && at > 0 && at + 1 < loginName.size())
        return std::string(loginName.substr(at + 1)) + "\\" + std::string(loginName.substr(0, at));
    if (defaultDomain.empty())
        return {};
    return std::string(defaultDomain) + "\\" + std::string(loginName);
}

std::string LocalDomainName()
{
    utsname names{};
    if (::uname(&names) != 0)
        return {};
    std::string nis = Trim(names.domainname);
    if (!nis.empty() && nis != "(none)")
        return nis;
    std::string host = Trim(names.nodename);
    size_t dot = host.find('.');
    if (dot != std::string::npos)
        host.resize(dot);
    return host;
}

std::string LogonAccountName() { return QualifiedAccountName(LoginName(), LocalDomainName()); }

std::string WorkgroupFromSmbConfig(std::string_view text)
{
    std::istringstream in{std::string(text)};
    std::string line;
    bool inGlobal = false;
    std::string result;
    while (std::getline(in, line)) {
        std::string t = Trim(line);
        if (t.empty() || t[0] == '#' || t[0] == ';')
            continue;
        if (t[0] == '[') {
            size_t close = t.find(']');
            inGlobal = close != std::string::npos && EqualNoCaseAscii(Trim(std::string_view(t).substr(1, close - 1)), "global");
            continue;
        }
        if (!inGlobal)
            continue;
        size_t eq = t.find('=');
        if (eq == std::string::npos)
            continue;
        if (EqualNoCaseAscii(Trim(std::string_view(t).substr(0, eq)), "workgroup"))
            result = Trim(std::string_view(t).substr(eq + 1)); // the last setting wins
    }
    return result;
}

std::string WorkgroupName()
{
    std::string text;
    if (ReadRegularFile("/etc/samba/smb.conf", text, kMaxSmbConfBytes) != 0)
        return {};
    return WorkgroupFromSmbConfig(text);
}

} // namespace wv
