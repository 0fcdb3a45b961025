// The welcome page: the wizard's greeting, the memory warning, the maker's
// notice and "&Load Settings", which loads a profile into the converter
// (the later pages show it when they are next shown).
#pragma once

#include <string>

#include "GUI2/g_wiz_pg.h"

// Loads the profile `path` into the converter; a file that is missing, cannot
// be read or is no profile is reported with its name and the reason.
void load_profile_file(wizard_shell& shell, const std::u16string& path);

class welcome_page : public wizard_page {
  public:
    // `profile_ext`: the extension offered by the Load Settings dialog.
    welcome_page(wizard_shell& shell, const QString& profile_ext);

  private:
    void load_settings();

    QString profile_ext_;
};
