// A cursor over the program's arguments (argv), matching each argument
// against an option table.
//
// The table is an array of (identifier, text) pairs that ends with an entry
// whose text is empty. An argument is recognised by the first entry whose
// text it begins with: a plain, case-sensitive prefix test, so "--splitx"
// counts as "--split" and the value of "--dest=a.xls" is "a.xls". The empty
// end entry matches everything and stands for "no option" (identifier -1).
//
// Arguments that match no option are kept (at most 20) so the caller can
// reject the command line after the walk. The cursor starts at argv[1]; the
// table and argv must outlive it.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "TK/tk_excep.h"

struct tk_cmdli_option {
    int id;
    const char* text;  // "" ends the table
};

class tk_cmdli {
  public:
    static constexpr int kUnrecognised = -1;
    static constexpr size_t kMaxUnrecognised = 20;

    tk_cmdli(int argc, char** argv, const tk_cmdli_option* options)
        : argc_(argc), argv_(argv), options_(options), index_(1) {
        classify();
    }

    // Whether the cursor stands on an argument.
    bool has_current() const { return index_ < argc_; }

    // Moves to the next argument; moving past the end is a caller's error.
    void next() {
        if (!has_current())
            throw tk_mail_assertion("..\\TK/tk_cmdli", 147);
        ++index_;
        classify();
    }

    // The current argument's option identifier, kUnrecognised for none.
    int option_id() const {
        if (!has_current())
            throw tk_mail_assertion("tk_cmdli", 19);
        return id_;
    }

    // The current argument after the option text ("" for none).
    const char* value() const {
        if (!has_current())
            throw tk_mail_assertion("tk_cmdli", 60);
        return argv_[index_] + value_offset_;
    }

    // The whole current argument and its position in argv.
    const char* argument() const { return has_current() ? argv_[index_] : ""; }
    int index() const { return index_; }

    // Arguments met so far that matched no option, in order.
    const std::vector<std::string>& unrecognised() const { return unrecognised_; }

  private:
    void classify() {
        id_ = kUnrecognised;
        value_offset_ = 0;
        if (!has_current())
            return;
        const char* arg = argv_[index_] ? argv_[index_] : "";
        for (const tk_cmdli_option* o = options_; o && o->text && *o->text; ++o) {
            size_t n = std::strlen(o->text);
            if (std::strncmp(arg, o->text, n) == 0) {
                id_ = o->id;
                value_offset_ = n;
                return;
            }
        }
        if (unrecognised_.size() >= kMaxUnrecognised)
            throw tk_mail_assertion("..\\TK/tk_cmdli", 52);
        unrecognised_.emplace_back(arg);
    }

    int argc_;
    char** argv_;
    const tk_cmdli_option* options_;
    int index_;
    int id_ = kUnrecognised;
    size_t value_offset_ = 0;
    std::vector<std::string> unrecognised_;
};
