// The welcome page: the wizard's greeting, the memory warning, the maker's
// notice and "&Load Settings", which loads a profile into the converter
// (the later pages show it when they are next shown).
#pragma once

#include "GUI2/g_wiz_pg.h"

class welcome_page : public wizard_page {
  public:
    // `profile_ext`: the extension offered by the Load Settings dialog.
    welcome_page(wizard_shell& shell, const QString& profile_ext);

  private:
    void load_settings();

    QString profile_ext_;
};
