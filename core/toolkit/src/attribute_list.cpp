// AttributeList: named attributes and their DER set.
#include "attribute_list.h"

#include <qor/secure_buffer.h>

#include "ber.h"
#include "memory.h"
#include "object_list.h"
#include "service_object.h"

using namespace qor::toolkit;

struct AttributeList {
    DestroyRoutine destroy;
    uint8_t* encoding;  // the cached set, null while none is built
    uint32_t encodingLength;
    uint32_t changed;  // non-zero when the cache no longer matches the entries
    ObjectList* entries;
};

namespace {

// One attribute: its identifier's content bytes and its value encoded in the shortest form.
struct AttributeEntry {
    DestroyRoutine destroy;
    uint8_t* oid;
    uint32_t oidLength;
    uint8_t* value;
    uint32_t valueLength;
};

// File and user names are personal data: their bytes are wiped wherever they are let go.
void FreeWiped(uint8_t*& bytes, uint32_t& length) {
    if (bytes != nullptr) qor::SecureWipe(bytes, length);
    MemFree(bytes);
    bytes = nullptr;
    length = 0;
}

void DestroyEntry(void* object) {
    auto* entry = static_cast<AttributeEntry*>(object);
    FreeWiped(entry->oid, entry->oidLength);
    FreeWiped(entry->value, entry->valueLength);
}

void DestroyAttributeList(void* object) {
    auto* list = static_cast<AttributeList*>(object);
    FreeWiped(list->encoding, list->encodingLength);
    ObjectListDestroy(&list->entries);
}

void MarkChanged(AttributeList& list) {
    list.changed = 1;
    FreeWiped(list.encoding, list.encodingLength);
}

// Values are stored as data, never as nested structure; a zero tag would read as an
// end-of-contents marker to a decoder of the surrounding stream.
bool StorableTag(uint8_t tag) {
    return tag != 0 && (tag & 0x1f) != 0x1f && (tag & 0x20) == 0;
}

// Length of a definite header for `length` content bytes in the shortest form; 0 when the
// length is beyond what the toolkit writes.
uint32_t HeaderLength(uint64_t length) {
    if (length < 0x80) return 2;
    if (length < 0x100) return 3;
    if (length <= kBerMaxDefiniteLength) return 4;
    return 0;
}

uint8_t* CopyOf(const uint8_t* bytes, uint32_t length) {
    auto* copy = static_cast<uint8_t*>(MemAllocate(length));
    if (copy != nullptr) MemCopy(copy, bytes, length);
    return copy;
}

// The value element (tag, length, content); null when memory is short. `length` is at most
// 32767, checked by the callers.
uint8_t* EncodeValue(uint8_t tag, const uint8_t* content, uint32_t length, uint32_t& encoded) {
    uint32_t total = HeaderLength(length) + length;
    auto* value = static_cast<uint8_t*>(MemAllocate(total));
    if (value == nullptr) return nullptr;
    size_t header = BerWriteHeader(value, tag, length);
    MemCopy(value + header, content, length);
    encoded = total;
    return value;
}

AttributeEntry* EntryAt(const ObjectList& entries, uint32_t index) {
    return static_cast<AttributeEntry*>(ObjectListGet(entries, index));
}

AttributeEntry* FindEntry(const ObjectList& entries, const uint8_t* oid, uint32_t oidLength) {
    for (uint32_t i = 0; i < entries.count; ++i) {
        AttributeEntry* entry = EntryAt(entries, i);
        if (entry->oidLength == oidLength && MemCompare(entry->oid, oid, oidLength) == 0)
            return entry;
    }
    return nullptr;
}

// A new entry holding copies of the identifier and the encoded value; null when memory is
// short.
AttributeEntry* NewEntry(const uint8_t* oid, uint32_t oidLength, uint8_t tag,
                         const uint8_t* content, uint32_t length) {
    auto* entry = AllocateObject<AttributeEntry>(DestroyEntry);
    if (entry == nullptr) return nullptr;
    entry->oid = CopyOf(oid, oidLength);
    if (entry->oid != nullptr) {
        entry->oidLength = oidLength;
        entry->value = EncodeValue(tag, content, length, entry->valueLength);
    }
    if (entry->value == nullptr) ReleaseObject(&entry);
    return entry;
}

int AppendNewEntry(ObjectList& entries, const uint8_t* oid, uint32_t oidLength, uint8_t tag,
                   const uint8_t* content, uint32_t length) {
    AttributeEntry* entry = NewEntry(oid, oidLength, tag, content, length);
    if (entry == nullptr) return kStatusOutOfMemory;
    if (ObjectListAppend(entries, entry) != kStatusOk) {
        ReleaseObject(&entry);
        return kStatusOutOfMemory;
    }
    return kStatusOk;
}

// Reads back a stored value. The list only ever stores values it built itself, so these checks
// guard against a damaged object rather than against input.
int OpenValue(const AttributeEntry& entry, const uint8_t*& content, uint32_t& length) {
    const uint8_t* v = entry.value;
    uint32_t n = entry.valueLength;
    if (v == nullptr || n < 2) return kStatusAttributeNoValue;
    if ((v[0] & 0x1f) == 0x1f) return kStatusAttributeHighTag;
    uint32_t header = 2;
    uint32_t declared = v[1];
    if (v[1] == 0x81 && n >= 3) {
        declared = v[2];
        header = 3;
    } else if (v[1] == 0x82 && n >= 4) {
        declared = static_cast<uint32_t>(v[2]) << 8 | v[3];
        header = 4;
    } else if (v[1] >= 0x80) {
        return kStatusAttributeNoValue;  // indefinite, or a form the list never writes
    }
    if (declared == 0 || declared != n - header) return kStatusAttributeNoValue;
    content = v + header;
    length = declared;
    return kStatusOk;
}

// Length of the attribute's complete encoding; 0 when a part of it would exceed 32767 bytes.
uint32_t AttributeLength(const AttributeEntry& entry) {
    uint32_t oidHeader = HeaderLength(entry.oidLength);
    uint32_t setHeader = HeaderLength(entry.valueLength);
    if (oidHeader == 0 || setHeader == 0) return 0;
    uint64_t content = uint64_t{oidHeader} + entry.oidLength + setHeader + entry.valueLength;
    uint32_t sequenceHeader = HeaderLength(content);
    if (sequenceHeader == 0) return 0;
    return sequenceHeader + static_cast<uint32_t>(content);
}

// Writes SEQUENCE { OBJECT IDENTIFIER, SET { value } } at `out`; returns its length.
uint32_t WriteAttribute(const AttributeEntry& entry, uint8_t* out) {
    uint32_t oidElement = HeaderLength(entry.oidLength) + entry.oidLength;
    uint32_t setElement = HeaderLength(entry.valueLength) + entry.valueLength;
    size_t at = BerWriteHeader(out, kBerSequence, oidElement + setElement);
    at += BerWriteHeader(out + at, kBerObjectId, entry.oidLength);
    MemCopy(out + at, entry.oid, entry.oidLength);
    at += entry.oidLength;
    at += BerWriteHeader(out + at, kBerSet, entry.valueLength);
    MemCopy(out + at, entry.value, entry.valueLength);
    at += entry.valueLength;
    return static_cast<uint32_t>(at);
}

struct Span {
    uint32_t offset;
    uint32_t length;
};

// Byte-wise over the shorter length; when one is a prefix of the other, the shorter first.
int CompareEncodings(const uint8_t* base, const Span& a, const Span& b) {
    uint32_t shorter = a.length < b.length ? a.length : b.length;
    int c = MemCompare(base + a.offset, base + b.offset, shorter);
    if (c != 0) return c;
    return a.length < b.length ? -1 : (a.length > b.length ? 1 : 0);
}

// Builds the set into the cache. The attributes are first encoded side by side in a scratch
// block, then copied out in sorted order; the scratch is wiped since it holds the values.
int BuildEncoding(AttributeList& list) {
    const ObjectList& entries = *list.entries;
    const uint32_t n = entries.count;
    uint64_t content = 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t one = AttributeLength(*EntryAt(entries, i));
        if (one == 0) return kStatusEncodingTooLong;
        content += one;
        if (content > kBerMaxDefiniteLength) return kStatusEncodingTooLong;
    }
    const auto contentLength = static_cast<uint32_t>(content);
    const uint32_t total = HeaderLength(contentLength) + contentLength;

    const size_t spanBytes = size_t{n} * sizeof(Span);
    const size_t scratchLength = spanBytes + contentLength;
    auto* scratch = static_cast<uint8_t*>(MemAllocate(scratchLength));
    if (scratch == nullptr) return kStatusOutOfMemory;
    auto* out = static_cast<uint8_t*>(MemAllocate(total));
    if (out == nullptr) {
        MemFree(scratch);
        return kStatusOutOfMemory;
    }
    auto* spans = reinterpret_cast<Span*>(scratch);
    uint8_t* encoded = scratch + spanBytes;

    uint32_t offset = 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t written = WriteAttribute(*EntryAt(entries, i), encoded + offset);
        spans[i] = {offset, written};
        offset += written;
    }
    // Insertion sort: the set holds a handful of attributes, and 32767 bytes bound the count.
    for (uint32_t i = 1; i < n; ++i) {
        Span moving = spans[i];
        uint32_t j = i;
        while (j > 0 && CompareEncodings(encoded, spans[j - 1], moving) > 0) {
            spans[j] = spans[j - 1];
            --j;
        }
        spans[j] = moving;
    }
    size_t at = BerWriteHeader(out, kBerSet, contentLength);
    for (uint32_t i = 0; i < n; ++i) {
        MemCopy(out + at, encoded + spans[i].offset, spans[i].length);
        at += spans[i].length;
    }
    qor::SecureWipe(scratch, scratchLength);
    MemFree(scratch);

    FreeWiped(list.encoding, list.encodingLength);
    list.encoding = out;
    list.encodingLength = total;
    list.changed = 0;
    return kStatusOk;
}

// Reads the attributes of a SET's content into `into`. The structure is fixed (SET, SEQUENCE,
// OBJECT IDENTIFIER, SET, value), so the walk is flat and every read is bounded by the element
// that encloses it.
int ParseAttributes(const BerElement& set, ObjectList& into) {
    const uint8_t* p = set.content;
    const uint8_t* const end = set.content + set.length;
    while (p != end) {
        BerElement attribute{};
        BerElement type{};
        BerElement values{};
        BerElement value{};
        if (!BerReadExpect(p, end, kBerSequence, attribute)) return kStatusEnvelopeMalformed;
        const uint8_t* q = attribute.content;
        const uint8_t* const attributeEnd = attribute.content + attribute.length;
        if (!BerReadExpect(q, attributeEnd, kBerObjectId, type)) return kStatusEnvelopeMalformed;
        if (!BerReadExpect(q, attributeEnd, kBerSet, values) || q != attributeEnd)
            return kStatusEnvelopeMalformed;
        // Exactly one value: the list keeps one value per identifier, and taking only the
        // first of several would silently drop data.
        const uint8_t* v = values.content;
        const uint8_t* const valuesEnd = values.content + values.length;
        if (!BerRead(v, valuesEnd, value) || v != valuesEnd) return kStatusEnvelopeMalformed;
        if (type.length == 0 || type.length > kBerMaxDefiniteLength)
            return kStatusEnvelopeMalformed;
        if (!StorableTag(value.tag) || value.length == 0 || value.length > kBerMaxDefiniteLength)
            return kStatusEnvelopeMalformed;
        const auto oidLength = static_cast<uint32_t>(type.length);
        if (FindEntry(into, type.content, oidLength) != nullptr) return kStatusEnvelopeMalformed;
        int status = AppendNewEntry(into, type.content, oidLength, value.tag, value.content,
                                    static_cast<uint32_t>(value.length));
        if (status != kStatusOk) return status;
    }
    return kStatusOk;
}

}  // namespace

namespace qor::toolkit {

bool IsAttributeList(const void* handle) {
    return HasTag(handle, DestroyAttributeList);
}

int AttributeListSetValue(AttributeList* list, const uint8_t* oid, uint32_t oidLength, uint8_t tag,
                          const uint8_t* content, uint32_t length) {
    if (!IsAttributeList(list)) return kStatusBadAttributeList;
    if (oid == nullptr || oidLength == 0) return kStatusAttributeNoType;
    if (!StorableTag(tag)) return kStatusAttributeHighTag;
    if (content == nullptr || length == 0) return kStatusAttributeNoValue;
    if (oidLength > kBerMaxDefiniteLength || length > kBerMaxDefiniteLength)
        return kStatusEncodingTooLong;

    AttributeEntry* existing = FindEntry(*list->entries, oid, oidLength);
    if (existing == nullptr) {
        int status = AppendNewEntry(*list->entries, oid, oidLength, tag, content, length);
        if (status != kStatusOk) return status;
    } else {
        uint32_t valueLength = 0;
        uint8_t* value = EncodeValue(tag, content, length, valueLength);
        if (value == nullptr) return kStatusOutOfMemory;
        FreeWiped(existing->value, existing->valueLength);
        existing->value = value;
        existing->valueLength = valueLength;
    }
    MarkChanged(*list);
    return kStatusOk;
}

int AttributeListGetValue(const uint8_t** content, uint32_t* length, AttributeList* list,
                          const uint8_t* oid, uint32_t oidLength) {
    if (!IsAttributeList(list) || content == nullptr || length == nullptr)
        return kStatusBadAttributeList;
    if (oid == nullptr || oidLength == 0) return kStatusAttributeNoType;
    const AttributeEntry* entry = FindEntry(*list->entries, oid, oidLength);
    if (entry == nullptr) return kStatusAttributeAbsent;
    const uint8_t* found = nullptr;
    uint32_t foundLength = 0;
    int status = OpenValue(*entry, found, foundLength);
    if (status != kStatusOk) return status;
    *content = found;
    *length = foundLength;
    return kStatusOk;
}

int AttributeListEncode(AttributeList* list, const uint8_t** encoding, uint32_t* length) {
    if (!IsAttributeList(list) || encoding == nullptr || length == nullptr)
        return kStatusBadAttributeList;
    if (list->changed != 0 || list->encoding == nullptr) {
        int status = BuildEncoding(*list);
        if (status != kStatusOk) return status;
    }
    *encoding = list->encoding;
    *length = list->encodingLength;
    return kStatusOk;
}

int AttributeListReplaceFromEncoding(AttributeList* list, const uint8_t* bytes, uint32_t length) {
    if (!IsAttributeList(list)) return kStatusBadAttributeList;
    if (bytes == nullptr) return kStatusEnvelopeMalformed;
    const uint8_t* p = bytes;
    const uint8_t* const end = bytes + length;
    BerElement set{};
    if (!BerReadExpect(p, end, kBerSet, set) || p != end) return kStatusEnvelopeMalformed;

    // Parse into a fresh list and swap it in only when everything was read.
    ObjectList* fresh = nullptr;
    if (ObjectListCreate(&fresh) != kStatusOk) return kStatusOutOfMemory;
    int status = ParseAttributes(set, *fresh);
    if (status != kStatusOk) {
        ObjectListDestroy(&fresh);
        return status;
    }
    ObjectListDestroy(&list->entries);
    list->entries = fresh;
    MarkChanged(*list);
    return kStatusOk;
}

}  // namespace qor::toolkit

extern "C" int AttributeListCreate(AttributeList** handle) {
    if (handle == nullptr) return kStatusBadAttributeList;
    *handle = nullptr;
    auto* list = AllocateObject<AttributeList>(DestroyAttributeList);
    if (list == nullptr) return kStatusOutOfMemory;
    list->changed = 1;
    if (ObjectListCreate(&list->entries) != kStatusOk) {
        ReleaseObject(&list);
        return kStatusOutOfMemory;
    }
    *handle = list;
    return kStatusOk;
}

extern "C" int AttributeListSetFileName(AttributeList* list, const unsigned char* text,
                                        unsigned int length) {
    return AttributeListSetValue(list, kOidAttributeFileName, sizeof kOidAttributeFileName,
                                 kBerT61String, text, length);
}

extern "C" int AttributeListSetUserName(AttributeList* list, const unsigned char* text,
                                        unsigned int length) {
    return AttributeListSetValue(list, kOidAttributeUserName, sizeof kOidAttributeUserName,
                                 kBerPrintableString, text, length);
}

extern "C" int AttributeListGetFileName(const unsigned char** value, unsigned int* length,
                                        AttributeList* list) {
    return AttributeListGetValue(value, length, list, kOidAttributeFileName,
                                 sizeof kOidAttributeFileName);
}

extern "C" int AttributeListGetUserName(const unsigned char** value, unsigned int* length,
                                        AttributeList* list) {
    return AttributeListGetValue(value, length, list, kOidAttributeUserName,
                                 sizeof kOidAttributeUserName);
}

extern "C" void AttributeListDestroy(AttributeList** handle) {
    if (handle != nullptr) ReleaseObject(handle);
}
