// Profile files: the sectioned text files in which both programs keep a
// conversion's settings ("[Generic settings]", "dest=..." and so on).
//
// Reading rules: a line "[name]" opens (or continues) a section; a line with
// "=" is a key line (key trimmed of blanks, value kept whole after the first
// "="); a non-empty line without "=" is a key with an empty value; empty
// lines are skipped; the first value of a key wins; a key line before any
// section makes the load fail. Lines are UTF-8; a line that is not valid
// UTF-8 is read in the code page of the user's system, the one Excel 5.0
// workbooks are written in (tk_ansi_codepage: the locale's, or
// TSL_CODEPAGE), as files saved by Windows tools there are. A leading UTF-8
// byte order mark is dropped; a file that begins with a UTF-16 one (little
// or big endian) is read as UTF-16. A CR before LF is dropped. Lines may be
// of any length.
//
// Writing: sections and keys in ordinal (UTF-16 code unit) order, each
// section followed by one empty line; the file appears atomically, and with
// owner-only permissions when asked (a profile that holds a password).
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>

class udb_profile {
  public:
    // Ordinal (code unit) order; lookups take views without a copy.
    using section_map = std::map<std::u16string, std::u16string, std::less<>>;
    using profile_map = std::map<std::u16string, section_map, std::less<>>;

    // The one section whose empty values are written as bare keys.
    static constexpr const char16_t* kBareKeySection = u"Selected Tables";

    // Loads `path` on top of what the profile holds. A missing file throws a
    // level-1 tk_exception ("Profile does not exist. ..."); a file that
    // cannot be read or that has a key line before its first section gives
    // false (error_text() says why; nothing of such a file is kept).
    bool load(const std::u16string& path);
    // Parses profile text, as `load` does with a file's bytes.
    bool parse(std::string_view text);

    // Writes the profile to `path` (replacing it; 0600 when `private_file`).
    // False when the file cannot be written (`why`, when given, receives the
    // system's reason); the old file is then untouched.
    bool store(const std::u16string& path, bool private_file = false,
               std::string* why = nullptr) const;
    // The text `store` writes.
    std::string to_text() const;

    // The value of a key, "" when the section or key is missing.
    const std::u16string& get(std::u16string_view section, std::u16string_view key) const;
    bool has(std::u16string_view section, std::u16string_view key) const;
    // Sets a key (replacing its value); line breaks in the value become
    // blanks, since a value is one line of the file.
    void set(const std::u16string& section, const std::u16string& key, std::u16string_view value);
    // The keys of one section, or nullptr.
    const section_map* section(std::u16string_view name) const;

    const profile_map& sections() const { return sections_; }
    bool empty() const { return sections_.empty(); }
    // Why the last load or parse failed (narrow text), "" after success.
    const std::string& error_text() const { return error_; }

  private:
    profile_map sections_;
    std::string error_;
};

// Decodes one line of a text file the system reads (profiles, table-names
// files): UTF-8 when the bytes are valid UTF-8, otherwise the code page of
// tk_ansi_codepage() (which throws its tk_exception for a TSL_CODEPAGE that
// names none).
std::u16string udb_decode_text_line(std::string_view line);

// A SQL text as one line of a profile means it: each "--" comment (outside
// quoted literals, quoted names and /* */ comments) becomes a /* */
// comment, so that joining the lines does not make it swallow the rest of
// the statement. A "*/" inside such a comment becomes "* /".
std::u16string udb_sql_for_one_line(std::u16string_view sql);
