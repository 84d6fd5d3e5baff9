#include "core_library.h"

namespace qor::shell {

namespace {
#ifdef _WIN32
constexpr char kCoreLibrary[] = "qorsec95.dll";
#else
constexpr char kCoreLibrary[] = "libqorsec95.so";
#endif
}  // namespace

CoreLibrary::CoreLibrary() : library_(platform::LoadLibrary(kCoreLibrary)) {}

CoreLibrary::~CoreLibrary() {
    if (library_ != nullptr) platform::FreeLibrary(library_);
}

}  // namespace qor::shell
