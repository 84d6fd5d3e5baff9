// Status codes below the service interface and the tables that map them upwards.
//
// Three tiers: method routines (the algorithms themselves) return small method codes; the
// algorithm tier (instances, key holders, registry) maps them to its own 512-545 range; the
// service operations map those to the 1280-1535 codes of qor/toolkit.h.
#pragma once

#include <qor/toolkit.h>

namespace qor::toolkit {

// Algorithm-tier codes.
enum AlgStatus : int {
    kAlgOk = 0,
    kAlgParamsAlreadySet = 512,
    kAlgParamOutOfRange = 513,
    kAlgNotInitialised = 514,
    kAlgNoParams = 515,
    kAlgInvalidInstance = 516,
    kAlgWrongKind = 517,
    kAlgOutOfMemory = 518,
    kAlgCancelled = 519,
    kAlgDataError = 520,
    kAlgKeyGenParams = 521,
    kAlgKeyGenParams2 = 522,
    kAlgBadData = 524,
    kAlgBadLength = 525,
    kAlgKeyAlreadySet = 526,
    kAlgMethodFailure = 527,
    kAlgKeyLength = 528,
    kAlgKeyHolderEmpty = 529,
    kAlgInvalidKeyHolder = 530,
    kAlgKindAccessorFailed = 531,
    kAlgModulusLength = 533,
    kAlgFinalWithoutInit = 534,
    kAlgNotAvailable = 535,
    kAlgOutputTooSmall = 536,
    kAlgTooLong = 537,
    kAlgRandomNotSeeded = 538,
    kAlgInvalidRandom = 539,
    kAlgNotSupported = 541,
    kAlgUnknownAlgorithm = 542,
    kAlgNoMethod = 545,
};

// Codes of the method routines beneath the algorithm tier.
enum MethodStatus : int {
    kMethodOk = 0,
    kMethodCancelled = 1,
    kMethodDataError = 2,
    kMethodKeyGen1 = 3,
    kMethodKeyGen2 = 4,
    kMethodBadData = 5,
    kMethodBadLength = 6,
    kMethodModulusLength = 7,
    kMethodRetry = 8,  // the random value drawn did not suit; draw another, never passed up
    kMethodNotAvailable = 9,
    kMethodOutputTooSmall = 10,
    kMethodNotInitialised = 11,
    kMethodKeyLength = 12,
    kMethodFailure = 13,
    kMethodParamRange = 15,
    kMethodOutOfMemory = 128,
};

// Method code -> algorithm-tier code.
int MapMethodStatus(int methodStatus);

// Algorithm-tier code -> service code, for service operations without a table of their own.
// 0 stays 0 and service codes pass through unchanged.
int MapAlgStatus(int algStatus);

}  // namespace qor::toolkit
