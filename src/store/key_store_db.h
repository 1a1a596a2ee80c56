// The key store's connection, shared by the files that implement `KeyStore`.
#pragma once

#include "store/key_store.h"
#include "store/sqlite_db.h"

namespace store {

struct KeyStore::Db : SqliteDb {};

} // namespace store
