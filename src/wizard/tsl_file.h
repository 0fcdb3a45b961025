// Step 2 of 4, "Conversion settings": the destination workbook, its format
// version and the three conversion options; the destination is checked
// before the wizard goes on.
#pragma once

#include <cstdint>
#include <string>

#include "GUI2/g_wiz_pg.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// The destination checks: a path longer than the system takes, a folder, an
// existing read-only file, a folder part that does not exist. Each failure
// throws a level-1 tk_exception.
void common_check_dest(const std::u16string& path);

// What "Overwrite? Yes" needs: the file's folder must take a new file and
// the file must not be read-only. The old file stays until the new
// workbook is complete. Throws tk_exception_ex with the system's text.
void check_replaceable(const std::u16string& path);

// The file name the page proposes: the destination when there is one, else
// the database file of a `file:` source (`source_file`, as the run reads the
// source), else the service name; the extension becomes the format
// version's (".xls", ".xlsx" for version 2). A `file:` source that names no
// file here proposes nothing.
std::u16string proposed_destination(const std::u16string& dest, const std::string& source_file,
                                    const std::u16string& service, int32_t format_version = 1);

class sel_file_page : public wizard_page {
  public:
    explicit sel_file_page(wizard_shell& shell);

  protected:
    void page_init() override;
    bool on_next() override;

  private:
    void store_file_info();
    void browse();
    void show_description();
    // The extension of the file name follows the chosen format version.
    void propose_extension();

    QLineEdit* dest_;
    QComboBox* format_;
    QLabel* description_;
    QCheckBox* dates_to_strings_;
    QCheckBox* wrap_text_;
    QCheckBox* split_data_;
};
