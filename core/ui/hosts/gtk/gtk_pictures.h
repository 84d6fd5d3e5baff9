// The product's pictures (the names the templates give their bitmaps), built into the module so
// that a dialog shows them wherever the module was installed.
#pragma once

#include <gtk/gtk.h>

#include <cstddef>
#include <string_view>

namespace qor::ui::gtk {

struct PictureBytes {
    const char* name;   // "aboutBitmap1", as a template names it
    const char* bytes;  // the BMP file
    size_t size;
};

// Made at build time from the BMP files (embed_pictures.cmake).
extern const PictureBytes kPictures[];
extern const size_t kPictureCount;

// The picture of that name, decoded (a new reference), or nullptr when there is none.
GdkPixbuf* LoadPicture(std::string_view name);

}  // namespace qor::ui::gtk
