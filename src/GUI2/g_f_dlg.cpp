#include "GUI2/g_f_dlg.h"

#include "GUI2/g_wiz_sh.h"

QString profile_filter(const QString& ext) {
    return QString("Profile Files (.%1) (*.%1);;All Files (*.*) (*)").arg(ext);
}

QString ask_profile_file(wizard_shell& shell, QWidget* parent, bool save, const QString& ext) {
    return shell.prompter().file_name(parent, save, "Select Profile File", QString(),
                                      profile_filter(ext), ext);
}

QString ask_workbook_file(wizard_shell& shell, QWidget* parent, const QString& initial, bool xlsx) {
    if (xlsx) {
        return shell.prompter().file_name(parent, true, "Select destination MS Excel file", initial,
                                          "MS Excel Files (.xlsx) (*.xlsx)", "xlsx");
    }
    return shell.prompter().file_name(parent, true, "Select destination MS Excel file", initial,
                                      "MS Excel Files (.xls) (*.xls)", "xls");
}
