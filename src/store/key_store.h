// The per-user hierarchical key/value store that holds every persistent setting, job and template.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace store {

// Value types, numbered as the registry numbers them so that exports stay faithful.
enum ValueType : uint32_t {
    kTypeString = 1, // REG_SZ: text plus one terminating zero byte
    kTypeBinary = 3, // REG_BINARY
    kTypeNumber = 4, // REG_DWORD: 4 bytes, little-endian
};

enum class Access { Read, All };

// An open key. Keys are opened, used and closed within one operation; a handle stays valid
// until its key is deleted. The zero handle means "none".
struct Key {
    int64_t id = 0;
    bool writable = false;
    explicit operator bool() const { return id != 0; }
};

// The hive itself: the parent of the program's root path.
inline constexpr Key kHive{1, true};

// One stored value as raw bytes.
struct Value {
    std::string name;
    uint32_t type = kTypeString;
    std::string data;
};

// One SQLite file per user. Every operation is its own transaction (or part of an enclosing
// `Transaction`) and is durable when it returns; several processes may share one file.
// Not thread-safe: one thread uses a store object.
class KeyStore {
public:
    KeyStore();
    ~KeyStore();
    KeyStore(const KeyStore&) = delete;
    KeyStore& operator=(const KeyStore&) = delete;

    // $VANTAQ_STORE when set, else $XDG_CONFIG_HOME/vantaq/store.sqlite (or ~/.config/...).
    static std::string DefaultPath();

    // Opens (creating when absent) the store file, migrating an older schema. Returns false and
    // leaves the file untouched when it is not a store (see LastError).
    // A file that cannot be used (read-only, damaged, on a full disk, locked) is refused with
    // the reason.
    bool Open(const std::string& path);
    void Close();
    // How long an operation waits for another process's lock before it fails (10 s at open).
    void SetBusyTimeout(int milliseconds);
    bool IsOpen() const;
    const std::string& LastError() const { return m_LastError; }
    // How many writes the store has refused (lock, full disk, read-only file) since it was
    // created: a caller compares it before and after a group of writes it does not check one
    // by one.
    uint64_t FailedWrites() const { return m_FailedWrites; }
    const std::string& Path() const { return m_Path; }

    // The registry-shaped operations. `path` is backslash-separated and relative to `parent`;
    // names compare without regard to ASCII letter case; the empty value name is the default.
    bool ReadNumber(Key parent, std::string_view path, std::string_view name, uint32_t& number);
    bool WriteNumber(Key parent, std::string_view path, std::string_view name, uint32_t number);
    // Fails when the text plus its terminator does not fit `capacity` bytes; `text` is then
    // left as it was.
    bool ReadString(Key parent, std::string_view path, std::string_view name, size_t capacity,
                    std::string& text);
    bool WriteString(Key parent, std::string_view path, std::string_view name,
                     std::string_view text);
    // Writes only when this call created the key, and succeeds only then.
    bool WriteStringIfNew(Key parent, std::string_view path, std::string_view name,
                          std::string_view text);
    Key OpenKey(Key parent, std::string_view path, Access access);
    // Creates the key and its missing ancestors; `created` tells whether the key itself is new.
    Key CreateKey(Key parent, std::string_view path, bool* created = nullptr);
    void CloseKey(Key& key) { key = Key{}; }
    // Adds or replaces every value of `source` in `destination`, long values whole.
    void CopyValues(Key source, Key destination);
    // Removes a key that has no sub-keys, with its values.
    bool DeleteKey(Key parent, std::string_view path);

    // Raw access, for tools and for larger atomic units.
    bool ReadValue(Key parent, std::string_view path, std::string_view name, Value& value);
    bool WriteValue(Key parent, std::string_view path, const Value& value);
    // Adds or replaces several values of one key, the key looked up once. On failure `failed`
    // (when given) is the index of the value that was refused. Alone it is one unit; inside a
    // larger one, the values before the refused one stay until that unit is undone.
    bool WriteValues(Key key, const std::vector<Value>& values, size_t* failed = nullptr);
    // Removes the values named in `names` from `key` (those it does not hold are no matter); one
    // unit alone. False when the key is gone or the store refused.
    bool DeleteValues(Key key, const std::vector<std::string>& names);
    bool EnumValues(Key key, std::vector<Value>& values);
    bool EnumSubKeys(Key key, std::vector<std::string>& names);
    // Renames the sub-key `from` of `parent` to `to`; fails when `to` exists.
    bool RenameSubKey(Key parent, std::string_view from, std::string_view to);
    // Removes a key with all its sub-keys and values, at any depth.
    bool DeleteTree(Key parent, std::string_view path);

    // Groups operations into one atomic unit. Nests: an inner unit is undone on its own when its
    // scope ends without Commit(); only the outermost unit makes the changes durable.
    class Transaction {
    public:
        explicit Transaction(KeyStore& store);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        bool Ok() const { return m_Ok; }
        bool Commit();

    private:
        KeyStore& m_Store;
        bool m_Ok;
        bool m_Done = false;
    };

    // Widens the page cache while it lives (128 MiB at most, against 16 MiB), for one long unit
    // of writes such as a file import: its pages stay in memory until the commit instead of
    // being written out and read back midway.
    class WideCache {
    public:
        explicit WideCache(KeyStore& store);
        ~WideCache();
        WideCache(const WideCache&) = delete;
        WideCache& operator=(const WideCache&) = delete;

    private:
        KeyStore& m_Store;
    };

    // Sets aside, until the outermost unit commits, what the file derives from its values (the
    // mirrored statuses, their triggers and the secondary indexes), so that each write of a long
    // import is one table row; the commit rebuilds them in one pass first, and a unit that is
    // undone takes the setting aside back with it. Until then the unit's own reads of statuses
    // are stale. Only inside a unit; false when refused.
    bool DeferDerived();
    // The file's size in bytes as its pages count it.
    int64_t FileBytes();

    // ---- numbered sub-keys ----
    // Sub-keys named by a decimal number without leading zeros ("0", "1", ...) are positions.
    // Their "Status" value, as a reader with a 255-byte buffer sees it, is mirrored in the
    // file's index by triggers, so every writer (any process) keeps it current. Each call below
    // is one indexed query; `parent` must be readable.

    // The number of positions 0, 1, ... below `parent` up to the first missing one.
    int CountPositions(Key parent);
    // The highest position below `parent`, whether or not the ones before it exist; -1 when none.
    int LastPosition(Key parent);
    // The lowest position from `from` on, below `below`, whose "Status" reads exactly `status`,
    // or -1.
    int FirstPositionWithStatus(Key parent, std::string_view status, int below, int from = 0);
    // How many positions below `below` carry each "Status" text (a missing or unreadable status
    // counts under the empty text).
    bool CountStatuses(Key parent, int below, std::vector<std::pair<std::string, int>>& counts);
    // The positions below `below` that hold a value named `name`, in order. `name` must be one
    // of kMarkedValueNames, which the file indexes so that finding the few positions holding one
    // costs nothing on a long list; any other name gives false.
    bool PositionsWithValue(Key parent, std::string_view name, int below,
                            std::vector<int>& positions);
    static constexpr const char* kMarkedValueNames[] = {"Run Key", "Run Handle"};
    // The positions below `below` whose "Input" value has the file stem of `input` (the text
    // after its last '/', less its extension), in order, from one indexed query.
    bool PositionsWithInputStem(Key parent, std::string_view input, int below,
                                std::vector<int>& positions);
    // The values named in `names` of positions [first, first + count), in position order; a
    // position's values come together, each with the position. A position with none of them
    // gives one value with an empty name and type 0.
    bool ReadPositionValues(Key parent, int first, int count, const std::vector<std::string>& names,
                            std::vector<std::pair<int, Value>>& values);
    // Removes positions [0, below) with their values in one unit; positions that have sub-keys
    // of their own are removed with DeleteTree. From kSetAsideFrom positions on, the cost does
    // not grow with them: `parent` is set aside whole and a new key of its name (given its values
    // and the sub-keys that stay) takes its place, so a handle of `parent` then names no key.
    // What was set aside is gone from every read and is removed by PurgeSetAside.
    bool DeletePositions(Key parent, int below);
    static constexpr int kSetAsideFrom = 1024;
    // Removes at most `most` of the keys that DeletePositions set aside, with their values, in
    // one unit: the number removed, 0 when none are left, -1 when the store refused.
    int PurgeSetAside(int most);
    // Removes the positions in `gone` (ascending, each below `below`) with their values and
    // renames the later ones below `below` to close the gaps, order kept, in one unit. The
    // cost grows with the rows removed and renamed, not with their product.
    bool DeletePositionsAt(Key parent, const std::vector<int>& gone, int below);

    // Makes room for new positions at `at` (ascending, no duplicates) among the positions
    // [0, below): the keys from at.front() on are renamed up past them, order kept, so that
    // once it returns the positions in `at` are free and the others hold [0, below + at.size())
    // around them. One unit; false (nothing changed) when `at` does not fit.
    bool OpenPositionsAt(Key parent, const std::vector<int>& at, int below);

    static constexpr int kSchemaVersion = 2;

private:
    struct Db;
    bool Begin();
    bool End(bool commit);
    int64_t FindChild(int64_t parent, std::string_view name);
    int64_t Resolve(Key parent, std::string_view path);
    int64_t ResolveOrCreate(Key parent, std::string_view path, bool* created);
    bool UpsertValue(int64_t key, std::string_view name, uint32_t type, std::string_view data);
    bool SelectValue(int64_t key, std::string_view name, Value& value);
    // Deletes one key's row and its values; the key must have no sub-keys.
    bool RemoveKeyRow(int64_t id);
    // One statement with its integer parameters, its failure noted.
    bool RunWith(const char* sql, std::initializer_list<int64_t> params);
    // Deletes with DeleteTree the sub-keys of `parent` whose names `sql` (with its integer
    // parameters) lists: positions that have sub-keys of their own.
    bool DeleteTreesListed(Key parent, const char* sql, std::initializer_list<int64_t> params);
    // Takes key `id` out of the tree, a new key of its name in its place (see DeletePositions).
    bool SetAside(int64_t id, int below, bool othersStay);
    // What tells one state of the file from the next: this connection's changed rows and the
    // commits of others. Equal stamps mean nothing changed in between.
    std::pair<int64_t, int64_t> ChangeStamp();
    int CountPositionsNow(int64_t id);

    // The last answers of the counting queries, kept while the file does not change: the job
    // list and the run's title ask them again and again.
    struct CountCache {
        bool valid = false;
        std::pair<int64_t, int64_t> stamp;
        int64_t parent = 0;
        int below = 0;
    };
    CountCache m_PositionsAsked;
    int m_Positions = 0;
    CountCache m_StatusesAsked;
    std::vector<std::pair<std::string, int>> m_Statuses;

    std::unique_ptr<Db> m_Db;
    std::string m_Path;
    std::string m_LastError;
    int m_Depth = 0;
    // The unit that owns what DeferDerived set aside (1: the outermost), 0 when nothing is.
    int m_DeferredAt = 0;
    uint64_t m_FailedWrites = 0;

    friend class Transaction;
};

// Splits a backslash-separated key path into its names; empty names are skipped.
std::vector<std::string_view> SplitKeyPath(std::string_view path);

} // namespace store
