#include "UDB/udb_prof.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "TK/tk_cpage.h"
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
// file is never held whole; a line is held whole, however long it is.
// Text that begins with a UTF-16 byte order mark (a "Unicode" file of
// Windows editors) is read as UTF-16 and taken line by line as UTF-8; a
// UTF-8 byte order mark is dropped.
class profile_reader {
  public:
    explicit profile_reader(udb_profile::profile_map& out) : out_(out) {}

    // False once the text turned out to be unusable (see error()).
    bool feed(const char* p, size_t n) {
        for (size_t i = 0; i < n && ok_; ++i) {
            if (start_.size() < 3 && !utf16_ && !started_) {
                start_.push_back(p[i]);
                take_start(false);
                continue;
            }
            if (utf16_)
                unit_byte(static_cast<unsigned char>(p[i]));
            else
                byte(p[i]);
        }
        return ok_;
    }
    bool finish() {
        if (!started_)
            take_start(true);
        if (ok_ && !line_.empty())
            end_line();
        return ok_;
    }
    const std::string& error() const { return error_; }

  private:
    // The first bytes decide the encoding: a byte order mark, or none.
    void take_start(bool at_end) {
        const std::string_view head(start_);
        if (head.size() >= 2 &&
            (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF")) {
            utf16_ = true;
            big_endian_ = head[0] == '\xFE';
            started_ = true;
            for (char c : head.substr(2)) unit_byte(static_cast<unsigned char>(c));
            return;
        }
        if (head == "\xEF\xBB\xBF") {
            started_ = true;
            return;
        }
        const bool undecided = !at_end && head.size() < 3 &&
                               std::string_view("\xEF\xBB\xBF").substr(0, head.size()) == head;
        const bool maybe_utf16 = !at_end && head.size() < 2 && (head == "\xFF" || head == "\xFE");
        if (undecided || maybe_utf16)
            return;
        started_ = true;
        for (char c : head) byte(c);
    }
    void byte(char c) {
        if (c == '\n')
            end_line();
        else
            line_.push_back(c);
    }
    void unit_byte(unsigned char b) {
        if (!half_) {
            half_ = true;
            first_ = b;
            return;
        }
        half_ = false;
        const char16_t unit =
            static_cast<char16_t>(big_endian_ ? (first_ << 8) | b : (b << 8) | first_);
        if (unit >= 0xD800 && unit < 0xDC00) {
            lead_ = unit;  // the second half of the pair follows
            return;
        }
        char16_t pair[2] = {lead_, unit};
        const std::u16string_view text = lead_ && unit >= 0xDC00 && unit < 0xE000
                                             ? std::u16string_view(pair, 2)
                                             : std::u16string_view(pair + 1, 1);
        lead_ = 0;
        for (char c : tk::utf16_to_utf8(text)) byte(c);
    }
    void end_line() {
        ++line_no_;
        std::string_view line(line_);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        take(line);
        line_.clear();
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
    udb_profile::section_map* section_ = nullptr;
    std::string start_;  // the first bytes, until the encoding is known
    bool started_ = false;
    bool utf16_ = false;
    bool big_endian_ = false;
    bool half_ = false;  // a UTF-16 unit's first byte is in first_
    unsigned char first_ = 0;
    char16_t lead_ = 0;  // a high surrogate waiting for its pair
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
    if (tk::is_valid_utf8(line))
        return tk::utf8_to_utf16(line);
    // One converter per thread for the process's code page, made once.
    thread_local std::unique_ptr<tk_codepage> page;
    const int cp = tk_ansi_codepage();
    if (!page || page->number() != cp)
        page = std::make_unique<tk_codepage>(cp);
    return page->decode(line);
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

std::u16string udb_sql_for_one_line(std::u16string_view sql) {
    auto is_name_char = [](char16_t c) {
        return c == u'_' || c == u'$' || c == u'#' || (c >= u'0' && c <= u'9') ||
               (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c >= 0x80;
    };
    auto closing = [](char16_t open) -> char16_t {
        switch (open) {
            case u'[':
                return u']';
            case u'(':
                return u')';
            case u'{':
                return u'}';
            case u'<':
                return u'>';
            default:
                return open;
        }
    };
    std::u16string out;
    out.reserve(sql.size() + 8);
    size_t i = 0;
    // Copies up to and including the first `end` from i on (or to the end).
    auto copy_through = [&](std::u16string_view end) {
        size_t at = sql.find(end, i);
        size_t stop = at == std::u16string_view::npos ? sql.size() : at + end.size();
        out.append(sql.substr(i, stop - i));
        i = stop;
    };
    while (i < sql.size()) {
        const char16_t c = sql[i];
        // A q'...' literal starts a word, or follows the N of nq'...'.
        const bool word_start =
            i == 0 || !is_name_char(sql[i - 1]) ||
            ((sql[i - 1] == u'n' || sql[i - 1] == u'N') && (i == 1 || !is_name_char(sql[i - 2])));
        if (c == u'\'' || c == u'"') {
            // A literal or a quoted name; a doubled quote stays inside it.
            out.push_back(c);
            ++i;
            copy_through(std::u16string(1, c));
        } else if ((c == u'q' || c == u'Q') && word_start && i + 2 < sql.size() &&
                   sql[i + 1] == u'\'') {
            // q'[...]': no doubled quotes, the delimiter ends it.
            const char16_t end[2] = {closing(sql[i + 2]), u'\''};
            out.append(sql.substr(i, 3));
            i += 3;
            copy_through(std::u16string_view(end, 2));
        } else if (c == u'/' && i + 1 < sql.size() && sql[i + 1] == u'*') {
            out.append(u"/*");
            i += 2;
            copy_through(u"*/");
        } else if (c == u'-' && i + 1 < sql.size() && sql[i + 1] == u'-') {
            size_t end = sql.find_first_of(u"\r\n", i + 2);
            if (end == std::u16string_view::npos)
                end = sql.size();
            std::u16string text(sql.substr(i + 2, end - i - 2));
            for (size_t at = text.find(u"*/"); at != std::u16string::npos;
                 at = text.find(u"*/", at + 2))
                text.insert(at + 1, 1, u' ');
            out += u"/*" + text + u" */";
            i = end;
        } else {
            out.push_back(c);
            ++i;
        }
    }
    return out;
}
