#include "crypt_context.h"

#include <algorithm>
#include <cstring>

namespace qor::engine {

namespace {

void CopyTerminated(char* out, size_t size, std::string_view text) {
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    std::memset(out + n, 0, size - n);
}

}  // namespace

CryptContext::CryptContext() {
    status_ = EnvelopeCreate(&envelope_);
}

CryptContext::~CryptContext() {
    EnvelopeDestroy(&envelope_);
}

int CryptContext::Fail(int status) {
    if (status_ == 0) status_ = status;
    return status_;
}

void CryptContext::SetFileName(std::string_view name) {
    CopyTerminated(fileName_, sizeof fileName_, name);
}

void CryptContext::SetUserName(std::string_view name) {
    CopyTerminated(userName_, sizeof userName_, name);
}

}  // namespace qor::engine
