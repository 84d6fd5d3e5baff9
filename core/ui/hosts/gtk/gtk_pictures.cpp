#include "gtk_pictures.h"

namespace qor::ui::gtk {

GdkPixbuf* LoadPicture(std::string_view name) {
    for (size_t i = 0; i < kPictureCount; ++i) {
        if (name != kPictures[i].name) continue;
        GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("bmp", nullptr);
        if (loader == nullptr) return nullptr;
        GdkPixbuf* pixbuf = nullptr;
        if (gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(kPictures[i].bytes),
                                    kPictures[i].size, nullptr) &&
            gdk_pixbuf_loader_close(loader, nullptr)) {
            pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
            if (pixbuf != nullptr) g_object_ref(pixbuf);
        } else {
            gdk_pixbuf_loader_close(loader, nullptr);
        }
        g_object_unref(loader);
        return pixbuf;
    }
    return nullptr;
}

}  // namespace qor::ui::gtk
