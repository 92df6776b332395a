#pragma once
// Sets (or, given nullptr, removes) an environment variable for the life of the object and puts the
// old value back afterwards. Tests that change the environment run on one thread.
#include <cstdlib>
#include <string>

namespace quillmar::test {

class TScopedEnv {
public:
  TScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  TScopedEnv(const char* name, const std::string& value) : TScopedEnv(name, value.c_str()) {}
  ~TScopedEnv() {
    if (had_)
      ::setenv(name_.c_str(), old_.c_str(), 1);
    else
      ::unsetenv(name_.c_str());
  }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

}  // namespace quillmar::test
