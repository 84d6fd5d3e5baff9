// Algorithm identifiers, SEQUENCE { OBJECT IDENTIFIER, parameters }: the BER form of an
// algorithm kind. Shared by every kind that has one, so each reads and writes only its own
// parameters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "algorithm_tier.h"
#include "ber.h"

namespace qor::toolkit {

// Opens an identifier that must span the whole item: kAlgOk with `params` set to the one
// element after the identifier, kAlgUnknownAlgorithm for another identifier, kAlgBadData for
// anything malformed.
int OpenAlgorithmId(const ByteSpan* item, const uint8_t* oid, size_t oidLength, BerElement& params);

// Records a copy of `length` encoded bytes as the instance's representation of `kind`;
// `block` (optional) receives it.
int AddAlgEncoding(AlgInstance& instance, const AlgKind* kind, const uint8_t* data, uint32_t length,
                   const void** block);

// Builds SEQUENCE { oid, SEQUENCE { inner } } and records it as `kind`.
int AddAlgorithmId(AlgInstance& instance, const AlgKind* kind, const uint8_t* oid, size_t oidLength,
                   const uint8_t* inner, size_t innerLength, const void** block);

}  // namespace qor::toolkit
