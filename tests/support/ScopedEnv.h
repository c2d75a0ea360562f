#pragma once
// An environment variable set, or removed, for the life of an object.

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace wvtest {

class ScopedEnv {
public:
    // Sets name to value; std::nullopt removes the variable.
    ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name))
    {
        if (const char* old = std::getenv(name_.c_str())) {
            old_ = old;
        }
        Apply(value);
    }
    // Sets name to value; a null value removes the variable.
    ScopedEnv(std::string name, const char* value)
        : ScopedEnv(std::move(name), value ? std::optional<std::string>(value) : std::nullopt)
    {
    }
    ~ScopedEnv() { Apply(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Apply(const std::optional<std::string>& value) const
    {
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }

    std::string name_;
    std::optional<std::string> old_;
};

} // namespace wvtest
