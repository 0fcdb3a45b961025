// The wizard's file dialogs: the profile dialog of Load Settings and Save
// Settings, and the destination workbook dialog. They run through the
// shell's prompter; an empty result means the user cancelled.
#pragma once

#include <QString>

class QWidget;
class wizard_shell;

// "Profile Files (.<ext>)" with *.<ext>, then "All Files (*.*)".
QString profile_filter(const QString& ext);

// "Select Profile File", starting with an empty name.
QString ask_profile_file(wizard_shell& shell, QWidget* parent, bool save, const QString& ext);

// "Select destination MS Excel file", starting from `initial`; the
// extension "xls" ("xlsx" with `xlsx`) is added when the user gives none.
QString ask_workbook_file(wizard_shell& shell, QWidget* parent, const QString& initial,
                          bool xlsx = false);
