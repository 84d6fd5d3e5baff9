// QorUiAdoptHost: the loader's dialog host serves this library's dialogs as well.
#include <qor/entry/exports.h>
#include <qor/ui/dialog_host.h>

extern "C" QOR_EXPORT void QorUiAdoptHost(void* host) {
    qor::ui::AdoptHost(static_cast<qor::ui::DialogHost*>(host));
}
