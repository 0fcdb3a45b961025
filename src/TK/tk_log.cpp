#include "TK/tk_log.h"

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "TK/tk_utf.h"

bool tk_log_use_ansi = false;

namespace {
// Trace lines format their numbers in the C locale, whatever the process's
// (the wizard runs under the user's: "1,5" under de_DE).
class c_numbers {
  public:
    c_numbers() {
        static const locale_t c = ::newlocale(LC_NUMERIC_MASK, "C", locale_t(nullptr));
        old_ = c ? ::uselocale(c) : locale_t(nullptr);
    }
    ~c_numbers() {
        if (old_)
            ::uselocale(old_);
    }
    c_numbers(const c_numbers&) = delete;
    c_numbers& operator=(const c_numbers&) = delete;

  private:
    locale_t old_;
};

// Opens the log file to append a line, without following a link at its
// name. A new file is made readable by its owner only: trace lines name
// tables, queries and users.
FILE* open_log(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW,
                    S_IRUSR | S_IWUSR);
    if (fd < 0)
        return nullptr;
    FILE* f = ::fdopen(fd, "ab");
    if (!f)
        ::close(fd);
    return f;
}

// Appends `text` as a %s conversion with the flags, width and precision of
// `conv` ("%-10.4" and the like) would print it.
void append_padded(std::u16string& out, std::u16string_view text, const std::string& conv) {
    bool left = conv.find('-') != std::string::npos;
    size_t width = 0, precision = std::string::npos;
    size_t i = 1;
    while (i < conv.size() && (conv[i] < '1' || conv[i] > '9') && conv[i] != '.') ++i;
    while (i < conv.size() && conv[i] >= '0' && conv[i] <= '9')
        width = width * 10 + (conv[i++] - '0');
    if (i < conv.size() && conv[i] == '.') {
        precision = 0;
        for (++i; i < conv.size() && conv[i] >= '0' && conv[i] <= '9'; ++i) {
            precision = precision * 10 + (conv[i] - '0');
        }
    }
    if (text.size() > precision)
        text = text.substr(0, precision);
    size_t pad = width > text.size() ? width - text.size() : 0;
    if (!left)
        out.append(pad, u' ');
    out += text;
    if (left)
        out.append(pad, u' ');
}
}  // namespace

void tk_log::set_path(const char* name) {
    if (!name)
        throw tk_mail_assertion("..\\TK/tk_log", 82);
    std::lock_guard<std::mutex> lock(open_mutex_);
    path_ = name;
    refusal_.clear();
    truncated_.store(false, std::memory_order_relaxed);
}

std::string tk_log::refusal() const {
    std::lock_guard<std::mutex> lock(open_mutex_);
    return refusal_;
}

void tk_log::withdraw() {
    std::lock_guard<std::mutex> lock(open_mutex_);
    set_enabled(false);
    struct stat st {};
    if (truncated_.load(std::memory_order_relaxed) && ::lstat(path_.c_str(), &st) == 0 &&
        st.st_dev == device_ && st.st_ino == inode_)
        ::unlink(path_.c_str());
    truncated_.store(false, std::memory_order_relaxed);
}

bool tk_log::prepare(int level) {
    if (!truncated_.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(open_mutex_);
        if (!truncated_.load(std::memory_order_relaxed) && enabled()) {
            // Empty the file once, at the first line after enabling, if it
            // is ours. A file that cannot be opened is skipped silently (and
            // tried again with the next line): tracing never fails a caller.
            int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                            S_IRUSR | S_IWUSR);
            if (fd < 0 && errno == ELOOP) {
                refusal_ = "The trace log file " + path_ +
                           " is a symbolic link; it is not followed, and the conversion goes on "
                           "without a trace log.";
                set_enabled(false);
                return false;
            }
            if (fd < 0)
                return false;
            struct stat st {};
            char head[sizeof kHeader - 1] = {};
            const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
            const bool ours =
                regular && (st.st_size == 0 || (::pread(fd, head, sizeof head, 0) ==
                                                    static_cast<ssize_t>(sizeof head) &&
                                                std::memcmp(head, kHeader, sizeof head) == 0));
            if (!ours) {
                ::close(fd);
                refusal_ = "The trace log file " + path_ +
                           " is not a trace log of this program; it is left as it is, and the "
                           "conversion goes on without a trace log.";
                set_enabled(false);
                return false;
            }
            const std::string header = std::string(kHeader) + (line_end_ ? "\r\n" : "\n");
            if (::ftruncate(fd, 0) == 0 && ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 &&
                ::pwrite(fd, header.data(), header.size(), 0) ==
                    static_cast<ssize_t>(header.size())) {
                device_ = st.st_dev;
                inode_ = st.st_ino;
                truncated_.store(true, std::memory_order_release);
            }
            ::close(fd);
        }
        if (!truncated_.load(std::memory_order_relaxed))
            return false;
    }
    return level >= threshold_;
}

void tk_log::write_line(const std::string& text) {
    // One write per line, so lines of two threads never interleave.
    std::string line;
    line.reserve(text.size() + 12);
    if (timestamps_) {
        std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", tm.tm_hour, tm.tm_min, tm.tm_sec);
        line += stamp;
    }
    // A name that holds control characters must not drive the terminal of
    // whoever reads the log.
    line += tk::escape_controls(text);
    if (line_end_)
        line += "\r\n";
    FILE* f = open_log(path_);
    if (!f)
        return;
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
}

void tk_log::vtrace(int level, const char* format, va_list args) {
    if (!enabled() || !prepare(level))
        return;
    const c_numbers c_locale;
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    write_line(text);
}

void tk_log::vwtrace(int level, const char16_t* format, va_list args) {
    if (!enabled() || !prepare(level))
        return;
    std::u16string wide = tk_vwformat(format, args);
    if (wide.size() > kWideBuffer - 1)
        wide.resize(kWideBuffer - 1);  // the buffer's end
    std::string narrow = tk::utf16_to_utf8(wide);
    // A line whose converted form does not fit the byte buffer converts to
    // nothing: only its time stamp and line end are written.
    if (narrow.size() > kWideBuffer - 1)
        narrow.clear();
    write_line(narrow);
}

void tk_trace_impl(int level, const char* format, ...) {
    tk_log* log = tk_log::instance_ptr();
    if (!log)
        return;
    va_list args;
    va_start(args, format);
    log->vtrace(level, format, args);
    va_end(args);
}

void tk_wtrace_impl(int level, const char16_t* format, ...) {
    tk_log* log = tk_log::instance_ptr();
    if (!log)
        return;
    va_list args;
    va_start(args, format);
    log->vwtrace(level, format, args);
    va_end(args);
}

std::u16string tk_wformat(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string s = tk_vwformat(format, args);
    va_end(args);
    return s;
}

std::u16string tk_vwformat(const char16_t* format, va_list args) {
    std::u16string out;
    if (!format)
        return out;
    const c_numbers c_locale;
    for (const char16_t* p = format; *p;) {
        if (*p != u'%') {
            out.push_back(*p++);
            continue;
        }
        // Collect one conversion: flags, width, precision, length, type.
        std::string conv = "%";
        ++p;
        while (*p &&
               std::u16string_view(u"-+ #0123456789.*").find(*p) != std::u16string_view::npos) {
            if (*p == u'*') {
                conv += std::to_string(va_arg(args, int));
            } else {
                conv.push_back(static_cast<char>(*p));
            }
            ++p;
        }
        std::string length;
        while (*p == u'l' || *p == u'h' || *p == u'z' || *p == u'j' || *p == u'I' || *p == u'6' ||
               *p == u'4') {
            length.push_back(static_cast<char>(*p++));
        }
        char16_t type = *p ? *p++ : u'\0';
        char buf[128];
        switch (type) {
            case u'%':
                out.push_back(u'%');
                break;
            case u's':
            case u'S': {
                // %s (and %ls) take a wide string; %S and %hs a narrow one.
                std::u16string_view text;
                std::u16string converted;
                if (type == u'S' || length == "h") {
                    const char* s = va_arg(args, const char*);
                    converted = tk::utf8_to_utf16(s ? s : "(null)");
                    text = converted;
                } else {
                    const char16_t* s = va_arg(args, const char16_t*);
                    text = s ? s : u"(null)";
                }
                append_padded(out, text, conv);
                break;
            }
            case u'c':
                out.push_back(static_cast<char16_t>(va_arg(args, int)));
                break;
            case u'd':
            case u'i':
            case u'u':
            case u'x':
            case u'X':
            case u'o': {
                bool wide64 = length == "ll" || length == "I64" || length == "j" ||
                              (length == "l" && sizeof(long) == 8) || length == "z";
                conv += "ll";
                conv.push_back(static_cast<char>(type));
                long long v;
                if (wide64) {
                    v = va_arg(args, long long);
                } else if (type == u'd' || type == u'i') {
                    v = va_arg(args, int);
                } else {
                    v = va_arg(args, unsigned int);
                }
                std::snprintf(buf, sizeof buf, conv.c_str(), v);
                out += tk::ascii_to_utf16(buf);
                break;
            }
            case u'f':
            case u'e':
            case u'E':
            case u'g':
            case u'G': {
                conv.push_back(static_cast<char>(type));
                std::snprintf(buf, sizeof buf, conv.c_str(), va_arg(args, double));
                out += tk::ascii_to_utf16(buf);
                break;
            }
            case u'p':
                std::snprintf(buf, sizeof buf, "%p", va_arg(args, void*));
                out += tk::ascii_to_utf16(buf);
                break;
            default:  // unknown or truncated conversion: keep it as text
                out += tk::ascii_to_utf16(conv);
                if (type)
                    out.push_back(type);
                break;
        }
    }
    return out;
}
