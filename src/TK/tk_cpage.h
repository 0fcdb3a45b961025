// The ANSI code page: the 8-bit (or double-byte) character set in which
// Excel 5.0 (BIFF5) workbooks hold their texts. The platform these
// workbooks come from wrote them in the system's ANSI code page, so a
// Cyrillic system wrote Cyrillic workbooks; here the code page follows the
// user's locale by language, and the environment variable TSL_CODEPAGE
// overrides it.
//
// tk_codepage converts between UTF-16 and one code page. Windows-1252 uses
// the toolkit's own table (tk_utf.h); the others use the C library's iconv.
// An object is not shared between threads (the iconv state is its own).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// True for the code pages a BIFF5 workbook may be written in: 874, 932,
// 936, 949, 950 and 1250 to 1258.
bool tk_codepage_supported(int cp);

// The code page of a locale name such as "ru_RU.UTF-8", by its language
// (and territory for Chinese, modifier for Serbian Latin): 1251 for ru, uk,
// bg, be, sr, mk; 1253 el; 1254 tr, az; 1255 he; 1256 ar, fa, ur; 1257 lt,
// lv, et; 1258 vi; 1250 pl, cs, sk, hu, sl, hr, ro, sq (and sr@latin); 874
// th; 932 ja; 936 zh (950 for zh_TW, zh_HK, zh_MO); 949 ko; 1252 for every
// other name, "C" and "POSIX" included. A null or empty name gives 1252.
int tk_locale_codepage(const char* locale);

// The code page of this process: TSL_CODEPAGE when it is set and not empty
// (a number such as "1251", also written "cp1251" or "windows-1251"),
// otherwise the locale's from the first of LC_ALL, LC_CTYPE and LANG that
// is set and not empty. A TSL_CODEPAGE value that is not a supported code
// page throws tk_exception (level 1) with a message naming the value and
// the code pages accepted.
int tk_ansi_codepage();

class tk_codepage {
  public:
    // `cp` must be supported (else an internal error).
    explicit tk_codepage(int cp);
    ~tk_codepage();
    tk_codepage(const tk_codepage&) = delete;
    tk_codepage& operator=(const tk_codepage&) = delete;

    int number() const { return cp_; }
    // True for the East Asian double-byte code pages (932, 936, 949, 950),
    // whose characters show twice as wide as Latin ones.
    bool double_byte() const { return cp_ == 932 || cp_ == 936 || cp_ == 949 || cp_ == 950; }
    // `s` in the code page. Each character it cannot hold (a surrogate pair
    // is one character; a lone surrogate is one too) becomes `replacement`
    // and is counted in `*replaced` when given.
    std::string encode(std::u16string_view s, char replacement = '?', size_t* replaced = nullptr);
    // Characters of `s` the code page cannot hold.
    size_t unmappable(std::u16string_view s);
    // `bytes` from the code page; a byte (sequence) it does not define
    // becomes U+FFFD.
    std::u16string decode(std::string_view bytes);

  private:
    int cp_;
    void* to_ = nullptr;    // iconv UTF-16LE -> code page
    void* from_ = nullptr;  // iconv code page -> UTF-16LE
};
