// What a file's extension says about it: an ordinary file, a locally encrypted one, a file-sharing
// one, or a type the product never encrypts (programs, drivers, system settings).
#pragma once

#include <string_view>

namespace qor::shell {

enum ExtensionKind : int {
    kExtensionPlain = 1,
    kExtensionLocalEncrypted = 2,  // ".!!!" and its kin ".!!a", ".!!7"
    kExtensionExcluded = 4,
    kExtensionShareEncrypted = 5,  // ".s!!" and its kin
};

// `extension` with its dot. Only an extension of exactly four characters is looked at; any
// other is plain.
ExtensionKind ClassifyExtension(std::string_view extension);

}  // namespace qor::shell
