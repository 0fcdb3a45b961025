// The German locale (decimal comma) for tests of code that must not follow
// the process locale, as the wizard's toolkit sets it from the environment.
// When the system has no de_DE.UTF-8 installed, one is built with localedef
// into a scratch folder (LOCPATH); ok() is false when that cannot be done
// either. The categories set are restored, and the folder removed, when the
// object ends.
#pragma once

#include <stdlib.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

class de_locale {
  public:
    explicit de_locale(int category = LC_ALL) : category_(category) {
        const char* now = std::setlocale(category_, nullptr);
        saved_ = now ? now : "C";
        if (std::setlocale(category_, "de_DE.UTF-8")) {
            ok_ = true;
            return;
        }
        char dir[] = "/tmp/tsl_locale_XXXXXX";
        if (!::mkdtemp(dir))
            return;
        scratch_ = dir;
        const std::string cmd =
            "localedef -i de_DE -f UTF-8 '" + scratch_ + "/de_DE.UTF-8' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0)
            return;
        ::setenv("LOCPATH", dir, 1);
        ok_ = std::setlocale(category_, "de_DE.UTF-8") != nullptr;
    }
    ~de_locale() {
        std::setlocale(category_, saved_.c_str());
        if (!scratch_.empty()) {
            ::unsetenv("LOCPATH");
            std::error_code ec;
            std::filesystem::remove_all(scratch_, ec);
        }
    }
    de_locale(const de_locale&) = delete;
    de_locale& operator=(const de_locale&) = delete;

    bool ok() const { return ok_; }

  private:
    int category_;
    std::string saved_;
    std::string scratch_;
    bool ok_ = false;
};
