// The table-names file of the console agent: one table name per line.
//
// A line holds at most kMaxName bytes; empty lines are skipped and names are
// not trimmed (blanks belong to the name). A CR before LF is dropped, so a
// list saved by a Windows editor gives the same names. When the first
// non-empty line starts with the UTF-8 byte order mark, the mark is dropped
// and every line is UTF-8; without the mark a line is UTF-8 when its bytes
// are valid UTF-8 and otherwise in the code page of Excel 5.0 texts, as a
// profile's lines are (udb_decode_text_line). A longer line is one name cut
// at kMaxName bytes, on a UTF-8 character boundary, and leaves a note.
//
// The reader holds at most one line's first bytes, whatever the file's size.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class tab_names_reader {
  public:
    static constexpr size_t kMaxName = 254;

    // Takes the next piece of the file; pieces may split lines anywhere.
    void feed(const char* data, size_t n);
    // Ends the file (a last line without LF counts).
    void finish();

    const std::vector<std::u16string>& names() const { return names_; }
    std::vector<std::u16string>& names() { return names_; }
    // One note per cut line, ready to print.
    const std::vector<std::string>& notes() const { return notes_; }

  private:
    // Raw bytes kept of a line: the name, the byte after the cut (to find a
    // character boundary) and room for a byte order mark.
    static constexpr size_t kKeep = kMaxName + 4;

    void end_line();

    std::string line_;
    size_t line_length_ = 0;  // bytes of the current line, also those not kept
    char last_ = 0;           // its last byte
    size_t line_no_ = 0;
    bool seen_name_line_ = false;
    bool utf8_ = false;  // byte order mark seen
    std::vector<std::u16string> names_;
    std::vector<std::string> notes_;
};
