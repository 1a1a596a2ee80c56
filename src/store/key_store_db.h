// The key store's connection, shared by the files that implement `KeyStore`.
#pragma once

#include "store/key_store.h"
#include "store/sqlite_db.h"

// A key for the file stem of a stored path value `d` (a string value's bytes, its closing NUL
// dropped): the text after the last '/', less the last '.' and what follows it, less any dots
// that then end it. Paths of one stem always share the key (a few others may too). The schema
// indexes it for "Input" values and the queries compare with the very same expression, which
// is what lets the planner use that index.
#define VANTAQ_TEXT_OF(d)                                                                          \
    "CAST(substr(" d ", 1, length(" d ") - (substr(" d ", -1) = X'00')) AS TEXT)"
#define VANTAQ_NAME_OF(t) "substr(" t ", length(rtrim(" t ", replace(" t ", '/', ''))) + 1)"
#define VANTAQ_STEM_KEY_OF_NAME(f)                                                                 \
    "CASE WHEN instr(" f ", '.') > 0 THEN rtrim(rtrim(" f ", replace(" f ", '.', '')), '.')"       \
    " ELSE " f " END"
#define VANTAQ_FILE_STEM_OF(d) VANTAQ_STEM_KEY_OF_NAME(VANTAQ_NAME_OF(VANTAQ_TEXT_OF(d)))

namespace store {

struct KeyStore::Db : SqliteDb {};

} // namespace store
