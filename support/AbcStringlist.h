#pragma once
// TStringList: an indexed list of entries, each an 8-bit text and an object
// pointer (not owned), with a duplicates policy.
// TAbcStringlist: a TStringList kept sorted by its own binary-search insertion
// and searched by binary search; an ordered map from an 8-bit key to an object.
// Case-insensitive mode (the default) upper-cases the letters a to z only and
// compares bytes as unsigned values; a key that is a prefix of another sorts
// first.

#include "Exception.h"

#include <cstdint>
#include <string>
#include <vector>

// What AddSorted does with a key that is already present.
enum class TDuplicates : std::uint8_t {
    dupIgnore = 0, // add nothing, answer -1 (the default)
    dupAccept = 1, // add the entry beside the equal one
    dupError = 2,  // throw EStringListError, add nothing
};

// Failures of the string lists.
class EStringListError : public Exception {
public:
    using Exception::Exception;
};

inline constexpr char kDuplicateItemMessage[] = "An attempt was made to add a duplicate item to the list";

class TStringList {
public:
    TStringList() = default;
    virtual ~TStringList() = default;

    std::int32_t Count() const { return static_cast<std::int32_t>(Entries.size()); }
    // Index checks throw EStringListError ("List index out of bounds (%d)").
    const std::string& Get(std::int32_t index) const;
    void Put(std::int32_t index, const std::string& text);
    void* Objects(std::int32_t index) const;
    void PutObject(std::int32_t index, void* object);
    // Appends and answers the new index.
    std::int32_t Add(const std::string& text, void* object = nullptr);
    // Inserts before index (0 .. Count).
    void Insert(std::int32_t index, const std::string& text, void* object = nullptr);
    void Delete(std::int32_t index);
    void Clear() { Entries.clear(); }

    TDuplicates Duplicates = TDuplicates::dupIgnore;

private:
    struct TEntry {
        std::string Text;
        void* Object;
    };
    void CheckIndex(std::int32_t index, std::int32_t limit) const;
    std::vector<TEntry> Entries;
};

class TAbcStringlist : public TStringList {
public:
    TAbcStringlist() = default;

    // Inserts name at its sorted position and answers its index; -1 when
    // nothing was added (empty name, or a duplicate under dupIgnore).
    std::int32_t AddSorted(const std::string& name);
    // AddSorted, then stores object in the new entry.
    std::int32_t AddSortedObject(const std::string& name, void* object);
    // Index of an entry whose compared form equals the key of name, or -1.
    std::int32_t FindSorted(const std::string& name) const;
    // With true, also upper-cases every existing entry, in index order.
    void SetStoreUpperCase(bool value);
    bool GetStoreUpperCase() const { return StoreUpperCase; }

    bool IgnoreCase = true; // compare upper-cased keys; callers set it right after construction

private:
    std::string KeyOf(const std::string& name) const;
    std::string ComparedForm(std::int32_t index) const;
    bool StoreUpperCase = true; // new entries store the key rather than the name given
};

// The letters a to z upper-cased; every other byte unchanged.
std::string UpperCaseAscii(const std::string& s);
// Byte-wise unsigned comparison: negative, 0 or positive.
int CompareBytes(const std::string& a, const std::string& b);
