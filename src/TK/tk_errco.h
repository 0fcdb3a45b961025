// Code-to-message maps: the system's own texts for engine error numbers
// (Oracle and DAO numbers, see the error handler). The owner keeps a static
// table of entries and hands it over with its entry count; the converter
// copies the texts, so the table only has to live during the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

// One entry of a source table: an error number and its narrow message (a
// null message is kept as the empty text).
struct tk_error_entry {
    uint32_t code;
    const char* message;
};

class tk_error_converter {
  public:
    // Builds the map from `count` entries of `entries` (see load_map).
    tk_error_converter(size_t count, const tk_error_entry* entries);

    // Adds `count` entries in array order; a code already present keeps its
    // first message. A null array is an internal error, even with count 0.
    void load_map(size_t count, const tk_error_entry* entries);

    // The message for `code`, or the empty text when the map has none.
    std::string convert(uint32_t code) const;

    size_t size() const { return map_.size(); }

  private:
    std::map<uint32_t, std::string> map_;
};
