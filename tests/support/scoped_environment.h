// Sets an environment variable for one test and puts it back after.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace velmora::testing {

class ScopedEnvironment {
  public:
    ScopedEnvironment(const std::string& name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name.c_str())) {
            old_ = old;
        }
        setenv(name.c_str(), value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (old_) {
            setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

} // namespace velmora::testing
