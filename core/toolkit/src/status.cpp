#include "status.h"

namespace qor::toolkit {

int MapMethodStatus(int methodStatus) {
    switch (methodStatus) {
        case kMethodOk:
            return kAlgOk;
        case kMethodCancelled:
            return kAlgCancelled;
        case kMethodDataError:
            return kAlgDataError;
        case kMethodKeyGen1:
            return kAlgKeyGenParams;
        case kMethodKeyGen2:
            return kAlgKeyGenParams2;
        case kMethodBadData:
            return kAlgBadData;
        case kMethodBadLength:
            return kAlgBadLength;
        case kMethodModulusLength:
            return kAlgModulusLength;
        case kMethodNotAvailable:
            return kAlgNotAvailable;
        case kMethodOutputTooSmall:
            return kAlgOutputTooSmall;
        case kMethodNotInitialised:
            return kAlgFinalWithoutInit;
        case kMethodKeyLength:
            return kAlgKeyLength;
        case kMethodFailure:
            return kAlgMethodFailure;
        case kMethodParamRange:
            return kAlgParamOutOfRange;
        case kMethodOutOfMemory:
            return kAlgOutOfMemory;
        default:
            return kAlgDataError;
    }
}

int MapAlgStatus(int algStatus) {
    if (algStatus == 0) return kStatusOk;
    if (algStatus >= 1280 && algStatus <= 1535) return algStatus;
    switch (algStatus) {
        case kAlgOutOfMemory:
            return kStatusOutOfMemory;
        case kAlgCancelled:
            return kStatusCancelled;
        case kAlgDataError:
            return kStatusGeneralFailure;
        case kAlgBadLength:
            return kStatusBadInputLength;
        case kAlgOutputTooSmall:
            return kStatusOutputTooSmall;
        case kAlgTooLong:
            return kStatusEncodingTooLong;
        default:
            return kStatusGeneralFailure;
    }
}

}  // namespace qor::toolkit
