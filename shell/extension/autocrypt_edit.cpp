#include "autocrypt_edit.h"

namespace qor::shell {

void RunAutoCryptEditDialog(QorShellWindow, const CoreLibrary&) {}

}  // namespace qor::shell
