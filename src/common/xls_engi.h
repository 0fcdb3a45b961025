// The two workbook format versions ("Excel 5.0": BIFF5 in a `Book` stream,
// "Excel 2000": BIFF8 in a `Workbook` stream). Each engine carries what is
// version-specific: the name shown to the user, the connect string of the
// workbook database, a description, the built-in empty workbook, and the
// BIFF patch that applies the header and wrapping formats to a finished
// workbook in place.
//
// Ownership: the converter creates both engines (`xls_engine_50` first) and
// keeps them in an array indexed by format version (0, 1); everyone else
// borrows them. `wrap` is copied into both engines whenever the wrap-text
// setting changes, so the patch reads the current setting.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class stg_stream;

class xls_engine {
  public:
    xls_engine(const std::u16string& name, const std::u16string& connect,
               const std::string& description);
    virtual ~xls_engine() = default;
    xls_engine(const xls_engine&) = delete;
    xls_engine& operator=(const xls_engine&) = delete;

    bool wrap = false;        // wrap text in the patched cell formats
    std::u16string name;      // display name of the format version
    std::u16string connect;   // connect string of the workbook database
    std::string description;  // text shown under the format selector

    static constexpr size_t k_template_size = 13824;

    // Writes the version's empty workbook (get_template(), 13,824 bytes) to
    // `file_name`, replacing any content. Throws tk_exception with "Cannot
    // open destination file for writing." or "Failed to write into the
    // destination file." (the partly written file then stays).
    virtual void write_empty_xls(const std::u16string& file_name);
    // Walks the workbook stream and patches it in place (see patch).
    virtual void do_patch(stg_stream& stream) = 0;
    // The version's empty workbook image, 13,824 bytes, valid for the life
    // of the process.
    virtual const uint8_t* get_template() = 0;

    // Opens `file_name` as a compound file, read-write and exclusive, and
    // patches its `Book` or `Workbook` stream: the fourth and the fifth FONT
    // become bold (the header XF names font index 5, the fifth record),
    // the 17th XF the header format, the 16th and later cell XFs get
    // vertical centring (and wrapping when `wrap`), and every sheet's
    // first-row cells from column 0 switch to the header format. Nothing is
    // inserted or removed. True when the stream was patched to the end; false
    // (after a trace) when the file or stream cannot be opened or the walk
    // fails — writes made before a failure stay.
    bool patch(const std::u16string& file_name);
    // Marks the contiguous first-row cells (from column 0) of the sheet whose
    // BOF is at `bof` with the header format. BIFF5 variant;
    // xls_engine_80 has its own.
    void patch_sheet(stg_stream& stream, uint64_t bof);

  protected:
    // The globals walk shared by both versions (`biff8` selects the rules):
    // rewrites FONT and XF records and returns the sheets' BOF positions.
    std::vector<uint32_t> walk_globals(stg_stream& stream, bool biff8);
    void mark_header_cells(stg_stream& stream, uint64_t bof, bool biff8);
};

class xls_engine_50 : public xls_engine {
  public:
    xls_engine_50();
    void do_patch(stg_stream& stream) override;
    const uint8_t* get_template() override;
};

class xls_engine_80 : public xls_engine {
  public:
    xls_engine_80();
    void do_patch(stg_stream& stream) override;
    const uint8_t* get_template() override;
    // BIFF8 variant of xls_engine::patch_sheet.
    void patch_sheet(stg_stream& stream, uint64_t bof);
};
