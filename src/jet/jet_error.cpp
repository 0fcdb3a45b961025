#include "jet/jet_error.h"

std::string jet_error::text_for(long number, const std::string& name) {
    switch (number) {
        case jet_errno::not_valid_path:
            return "'" + name +
                   "' is not a valid path.  Make sure that the path name is spelled correctly "
                   "and that you are connected to the server on which the file resides.";
        case jet_errno::file_in_use:
            return "Could not use '" + name + "'; file already in use.";
        case jet_errno::cannot_open:
            return "The database engine cannot open the file '" + name +
                   "'.  It is already opened exclusively by another user, or you need "
                   "permission to view its data.";
        case jet_errno::not_found_file:
            return "Could not find file '" + name + "'.";
        case jet_errno::table_exists:
            return "Table '" + name + "' already exists.";
        case jet_errno::object_not_found:
            return "The database engine could not find the object '" + name +
                   "'.  Make sure the object exists and that you spell its name and the path "
                   "name correctly.";
        case jet_errno::not_enough_space:
            return "Not enough space on disk.";
        case jet_errno::resources:
            return "System resource exceeded.";
        case jet_errno::record_too_large:
            return "Record is too large.";
        case jet_errno::not_valid_name:
            return "'" + name +
                   "' is not a valid name.  Make sure that it does not include invalid "
                   "characters or punctuation and that it is not too long.";
        case jet_errno::installable_isam:
            return "Could not find installable ISAM.";
        case jet_errno::too_many_fields:
            return "Too many fields defined.";
        case jet_errno::field_twice:
            return "Cannot define field more than once.";
        case jet_errno::not_supported:
            return "Operation is not supported for this type of object.";
        case jet_errno::no_fields:
            return "No field defined--cannot append TableDef or Index.";
        case jet_errno::bad_field_type:
            return "Invalid field data type.";
        case jet_errno::bad_format:
            return "External table is not in the expected format.";
        case jet_errno::overflow:
            return "Numeric field overflow.";
        case jet_errno::object_invalid:
            return "Object invalid or no longer set.";
        case jet_errno::conversion:
            return "Data type conversion error.";
        case jet_errno::sheet_full:
            return "Spreadsheet is full.";
        case jet_errno::read_only:
            return "Cannot update.  Database or object is read-only.";
        default:
            return "Reserved error (" + std::to_string(number) +
                   "); there is no message for this error.";
    }
}

jet_error jet_error::make(long number, const std::string& name, int field) {
    return jet_error(number, text_for(number, name), field);
}
