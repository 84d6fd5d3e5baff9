/* The selection that crosses the core library's boundary: an ordered array of strings with a
 * count, the same type on both sides (the shell extension builds it, the library reads it).
 *
 * Element 0 is the full path of the folder that holds the selection; each further element is
 * the name of one selected file inside that folder or, for a selected folder, its name followed
 * by the path separator and "*.*".
 *
 * The caller owns the array and every string in it and keeps them alive for the duration of
 * the call; the library only reads them and keeps no pointer after the call returns. */
#ifndef QOR_ENTRY_STRING_ARRAY_H
#define QOR_ENTRY_STRING_ARRAY_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QorStringArray {
    const char* const* items; /* `count` zero-terminated strings */
    unsigned int count;
} QorStringArray;

#ifdef __cplusplus
}

#include <string>
#include <vector>

namespace qor::entry {

// A QorStringArray over strings that the caller keeps: it points into `strings`, which must
// outlive it and stay unchanged while it is in use.
class StringArray {
  public:
    explicit StringArray(const std::vector<std::string>& strings) {
        pointers_.reserve(strings.size());
        for (const std::string& s : strings)
            pointers_.push_back(s.c_str());
        array_.items = pointers_.data();
        array_.count = static_cast<unsigned int>(pointers_.size());
    }
    // The array points into this object's own storage.
    StringArray(const StringArray&) = delete;
    StringArray& operator=(const StringArray&) = delete;

    const QorStringArray* get() const { return &array_; }

  private:
    std::vector<const char*> pointers_;
    QorStringArray array_{};
};

// The strings of an array (empty for a null array); a null element reads as an empty string.
inline std::vector<std::string> ToStrings(const QorStringArray* array) {
    std::vector<std::string> strings;
    if (array == nullptr || array->items == nullptr) return strings;
    strings.reserve(array->count);
    for (unsigned int i = 0; i < array->count; ++i)
        strings.emplace_back(array->items[i] != nullptr ? array->items[i] : "");
    return strings;
}

}  // namespace qor::entry

#endif /* __cplusplus */

#endif /* QOR_ENTRY_STRING_ARRAY_H */
