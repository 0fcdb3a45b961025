#include "UDB/udb_prof.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "TK/tk_sink.h"
#include "TK/tk_utf.h"

namespace {

const std::u16string kEmpty;

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// Reads profile text line by line into a profile map. Fed in pieces so a
// file is never held whole; a line is never held beyond the line limit.
class profile_reader {
  public:
    explicit profile_reader(udb_profile::profile_map& out) : out_(out) {}

    // False once the text turned out to be unusable (see error()).
    bool feed(const char* p, size_t n) {
        for (size_t i = 0; i < n && ok_; ++i) {
            if (p[i] == '\n') {
                end_line();
            } else {
                // The limit counts characters, not UTF-8 bytes: a line of
                // non-Latin text is as long as the same line in Latin.
                if (starts_char(p[i]) && ++chars_ > udb_profile::kMaxLine) {
                    refuse_long_line(line_no_ + 1);
                    break;
                }
                line_.push_back(p[i]);
            }
        }
        return ok_;
    }
    bool finish() {
        if (ok_ && !line_.empty())
            end_line();
        return ok_;
    }
    const std::string& error() const { return error_; }

  private:
    void end_line() {
        ++line_no_;
        std::string_view line(line_);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line_no_ == 1 && line.substr(0, 3) == "\xEF\xBB\xBF")
            line.remove_prefix(3);
        if (count_chars(line) >= udb_profile::kMaxLine) {
            refuse_long_line(line_no_);
            return;
        }
        take(line);
        line_.clear();
        chars_ = 0;
    }

    void refuse_long_line(size_t number) {
        ok_ = false;
        error_ = "line " + std::to_string(number) + " is longer than " +
                 std::to_string(udb_profile::kMaxLine - 1) + " characters";
    }

    static bool starts_char(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }
    static size_t count_chars(std::string_view s) {
        size_t n = 0;
        for (char c : s) n += starts_char(c);
        return n;
    }

    void take(std::string_view line) {
        if (line.empty())
            return;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section_ = &out_[udb_decode_text_line(line.substr(1, line.size() - 2))];
            return;
        }
        size_t eq = line.find('=');
        std::string_view key = trim_blanks(line.substr(0, eq));
        // A line of blanks, or one with nothing before its "=", names no key.
        if (key.empty())
            return;
        if (!section_) {
            ok_ = false;
            error_ =
                "line " + std::to_string(line_no_) + " holds a setting before the first section";
            return;
        }
        std::u16string value;
        if (eq != std::string_view::npos)
            value = udb_decode_text_line(line.substr(eq + 1));
        section_->emplace(udb_decode_text_line(key), std::move(value));  // first value wins
    }

    udb_profile::profile_map& out_;
    size_t chars_ = 0;  // characters of the line being read
    udb_profile::section_map* section_ = nullptr;
    std::string line_;
    size_t line_no_ = 0;
    bool ok_ = true;
    std::string error_;
};

void append_line(std::string& out, std::u16string_view text) {
    out += tk::utf16_to_utf8(text);
    out.push_back('\n');
}

}  // namespace

std::u16string udb_decode_text_line(std::string_view line) {
    return tk::is_valid_utf8(line) ? tk::utf8_to_utf16(line) : tk::cp1252_to_utf16(line);
}

bool udb_profile::parse(std::string_view text) {
    profile_map fresh;
    profile_reader reader(fresh);
    error_.clear();
    if (!reader.feed(text.data(), text.size()) || !reader.finish()) {
        error_ = reader.error();
        return false;
    }
    for (auto& [name, keys] : fresh) sections_[name].merge(keys);  // existing keys win
    return true;
}

bool udb_profile::load(const std::u16string& path) {
    tk_wtrace(2, u"udb_profile::load(%s)", path.c_str());
    error_.clear();
    std::string name = tk::utf16_to_utf8(path);
    struct stat st {};
    if (path.empty() || (::stat(name.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR))) {
        throw tk_exception(
            u"Profile does not exist. Please verify the correct path/name was given.", 1);
    }
    std::unique_ptr<FILE, int (*)(FILE*)> f(
        S_ISDIR(st.st_mode) ? nullptr : std::fopen(name.c_str(), "rb"), &std::fclose);
    if (!f) {
        error_ = "the file cannot be read";
        return false;
    }
    profile_map fresh;
    profile_reader reader(fresh);
    char buf[16384];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) {
        if (!reader.feed(buf, n))
            break;
    }
    bool read_error = std::ferror(f.get()) != 0;
    if (!reader.finish() || read_error) {
        error_ = read_error ? "the file cannot be read" : reader.error();
        return false;
    }
    for (auto& [section_name, keys] : fresh) sections_[section_name].merge(keys);
    return true;
}

std::string udb_profile::to_text() const {
    std::string out;
    for (const auto& [name, keys] : sections_) {
        if (keys.empty())
            continue;
        append_line(out, u"[" + name + u"]");
        bool bare = name == kBareKeySection;
        for (const auto& [key, value] : keys) {
            // A bare key that looks like a section header keeps its "=".
            bool header = key.size() >= 2 && key.front() == u'[' && key.back() == u']';
            append_line(out, bare && value.empty() && !header ? key : key + u"=" + value);
        }
        out.push_back('\n');
    }
    return out;
}

bool udb_profile::store(const std::u16string& path, bool private_file, std::string* why) const {
    tk_wtrace(2, u"udb_profile::store)");
    try {
        tk::atomic_file file(tk::utf16_to_utf8(path), private_file);
        std::string text = to_text();
        file.out().write(text.data(), text.size());
        file.commit();
        return true;
    } catch (const tk_exception& e) {
        tk_trace(2, "udb_profile::store failed: %s", e.what());
        if (why)
            *why = e.message();
        return false;
    }
}

const std::u16string& udb_profile::get(std::u16string_view section, std::u16string_view key) const {
    auto s = sections_.find(section);
    if (s == sections_.end())
        return kEmpty;
    auto k = s->second.find(key);
    return k == s->second.end() ? kEmpty : k->second;
}

bool udb_profile::has(std::u16string_view section, std::u16string_view key) const {
    auto s = sections_.find(section);
    return s != sections_.end() && s->second.find(key) != s->second.end();
}

void udb_profile::set(const std::u16string& section, const std::u16string& key,
                      std::u16string_view value) {
    std::u16string one_line(value);
    for (size_t i = 0; i < one_line.size(); ++i) {
        if (one_line[i] == u'\r' && i + 1 < one_line.size() && one_line[i + 1] == u'\n') {
            one_line.erase(i, 1);
        }
        if (one_line[i] == u'\r' || one_line[i] == u'\n')
            one_line[i] = u' ';
    }
    sections_[section][key] = std::move(one_line);
}

const udb_profile::section_map* udb_profile::section(std::u16string_view name) const {
    auto s = sections_.find(name);
    return s == sections_.end() ? nullptr : &s->second;
}
