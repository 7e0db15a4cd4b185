#include "AbcStringlist.h"

#include <algorithm>
#include <cstring>

std::string UpperCaseAscii(const std::string& s)
{
    std::string r = s;
    for (char& c : r) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return r;
}

int CompareBytes(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    if (n != 0) {
        // memcmp compares as unsigned char.
        const int r = std::memcmp(a.data(), b.data(), n);
        if (r != 0)
            return r;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

// --- TStringList ----------------------------------------------------------------

void TStringList::CheckIndex(std::int32_t index, std::int32_t limit) const
{
    if (index < 0 || index >= limit)
        throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

const std::string& TStringList::Get(std::int32_t index) const
{
    CheckIndex(index, Count());
    return Entries[static_cast<std::size_t>(index)].Text;
}

void TStringList::Put(std::int32_t index, const std::string& text)
{
    CheckIndex(index, Count());
    Entries[static_cast<std::size_t>(index)].Text = text;
}

void* TStringList::Objects(std::int32_t index) const
{
    CheckIndex(index, Count());
    return Entries[static_cast<std::size_t>(index)].Object;
}

void TStringList::PutObject(std::int32_t index, void* object)
{
    CheckIndex(index, Count());
    Entries[static_cast<std::size_t>(index)].Object = object;
}

std::int32_t TStringList::Add(const std::string& text, void* object)
{
    Entries.push_back({text, object});
    return Count() - 1;
}

void TStringList::Insert(std::int32_t index, const std::string& text, void* object)
{
    CheckIndex(index, Count() + 1);
    Entries.insert(Entries.begin() + index, TEntry{text, object});
}

void TStringList::Delete(std::int32_t index)
{
    CheckIndex(index, Count());
    Entries.erase(Entries.begin() + index);
}

// --- TAbcStringlist ---------------------------------------------------------------

std::string TAbcStringlist::KeyOf(const std::string& name) const
{
    return IgnoreCase ? UpperCaseAscii(name) : name;
}

std::string TAbcStringlist::ComparedForm(std::int32_t index) const
{
    const std::string& text = Get(index);
    // With both flags set the stored text is upper case already.
    return IgnoreCase && !StoreUpperCase ? UpperCaseAscii(text) : text;
}

std::int32_t TAbcStringlist::AddSorted(const std::string& name)
{
    if (name.empty())
        return -1;
    const std::string key = KeyOf(name);
    const std::string& stored = StoreUpperCase ? key : name;
    std::int32_t lo = 0;
    std::int32_t hi = Count() - 1;
    for (;;) {
        const std::int32_t mid = lo + (hi - lo + 1) / 2;
        if (mid == Count())
            return Add(stored);
        if (hi < lo) {
            Insert(mid, stored);
            return mid;
        }
        const int c = CompareBytes(ComparedForm(mid), key);
        if (c < 0) {
            lo = mid + 1;
        } else if (c > 0) {
            hi = mid - 1;
        } else {
            switch (Duplicates) {
            case TDuplicates::dupIgnore:
                return -1;
            case TDuplicates::dupAccept:
                Insert(mid, stored);
                return mid;
            case TDuplicates::dupError:
                break;
            }
            throw EStringListError(kDuplicateItemMessage);
        }
    }
}

std::int32_t TAbcStringlist::AddSortedObject(const std::string& name, void* object)
{
    const std::int32_t index = AddSorted(name);
    if (index >= 0)
        PutObject(index, object);
    return index;
}

std::int32_t TAbcStringlist::FindSorted(const std::string& name) const
{
    if (name.empty())
        return -1;
    const std::string key = KeyOf(name);
    std::int32_t lo = 0;
    std::int32_t hi = Count() - 1;
    for (;;) {
        const std::int32_t mid = lo + (hi - lo + 1) / 2;
        if (mid == Count() || hi < lo)
            return -1;
        const int c = CompareBytes(ComparedForm(mid), key);
        if (c < 0)
            lo = mid + 1;
        else if (c > 0)
            hi = mid - 1;
        else
            return mid;
    }
}

void TAbcStringlist::SetStoreUpperCase(bool value)
{
    StoreUpperCase = value;
    if (!value)
        return;
    for (std::int32_t i = 0; i < Count(); ++i)
        Put(i, UpperCaseAscii(Get(i)));
}
