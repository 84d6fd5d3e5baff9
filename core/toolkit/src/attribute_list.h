// Attribute lists inside the toolkit: the general set and get beneath the two named attributes,
// and the DER attribute set that an envelope carries at the start of its encrypted content.
//
// An attribute is an object identifier with exactly one value; the list holds at most one
// attribute per identifier. Values are kept encoded (tag, length, content), each with a
// single-byte primitive tag and a non-empty content.
#pragma once

#include <qor/toolkit.h>

#include <cstdint>

namespace qor::toolkit {

// Content bytes of the identifiers of the two named attributes.
inline constexpr uint8_t kOidAttributeFileName[] = {0x2a, 0x86, 0x48, 0x86, 0xf7,
                                                    0x0d, 0x04, 0x01, 0x01};
inline constexpr uint8_t kOidAttributeUserName[] = {0x2a, 0x86, 0x48, 0x86, 0xf7,
                                                    0x0d, 0x04, 0x01, 0x02};

// True when `handle` is a live AttributeList; false for null and for objects of other types.
bool IsAttributeList(const void* handle);

// Stores `content` under `oid` as a value with `tag`, replacing an earlier value of the same
// identifier. 0; kStatusBadAttributeList; kStatusAttributeNoType (empty identifier);
// kStatusAttributeHighTag (a multi-byte, constructed or zero tag); kStatusAttributeNoValue
// (empty content); kStatusEncodingTooLong (identifier or content over 32767 bytes);
// kStatusOutOfMemory. A refused call leaves the list as it was.
int AttributeListSetValue(AttributeList* list, const uint8_t* oid, uint32_t oidLength, uint8_t tag,
                          const uint8_t* content, uint32_t length);

// Content bytes of the value stored under `oid` (a pointer into the list). 0;
// kStatusBadAttributeList (also for null out-parameters); kStatusAttributeNoType;
// kStatusAttributeAbsent; kStatusAttributeHighTag or kStatusAttributeNoValue for a stored value
// that cannot be read. The out-parameters change only on success.
int AttributeListGetValue(const uint8_t** content, uint32_t* length, AttributeList* list,
                          const uint8_t* oid, uint32_t oidLength);

// The complete DER SET OF SEQUENCE { OBJECT IDENTIFIER, SET { value } } (31 00 when empty), the
// attributes in ascending order of their complete encodings. The bytes belong to the list and
// stay valid until the list changes or is destroyed; asking again without a change returns the
// same bytes. 0; kStatusBadAttributeList; kStatusEncodingTooLong (over 32767 bytes);
// kStatusOutOfMemory.
int AttributeListEncode(AttributeList* list, const uint8_t** encoding, uint32_t* length);

// Parses one complete SET element of the form above (definite lengths in any form up to 82,
// attributes in any order, any identifier, a value with any single-byte primitive tag) and
// makes it the list's whole contents. Every attribute must carry exactly one non-empty value and
// no identifier may appear twice. 0; kStatusBadAttributeList; kStatusEnvelopeMalformed for
// anything else in the bytes, trailing bytes included; kStatusOutOfMemory. On failure the list
// is unchanged.
int AttributeListReplaceFromEncoding(AttributeList* list, const uint8_t* bytes, uint32_t length);

}  // namespace qor::toolkit
