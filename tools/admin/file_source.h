// The file source of the inspection library, under the name the admin tool uses.
#pragma once

#include <qor/inspect/file_source.h>

namespace qor::admin {

using FileSource = inspect::FileSource;

}  // namespace qor::admin
