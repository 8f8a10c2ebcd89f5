/* Stand-ins for what the file manager gives an extension, so the extension
 * library can be loaded and driven without the file manager: a type module
 * that loads the library, and file infos for local or remote URIs. */
#ifndef VELLUMOR_FAKE_NAUTILUS_H
#define VELLUMOR_FAKE_NAUTILUS_H

#include <nautilus-extension.h>

G_BEGIN_DECLS

/* A type module whose load() dlopens library_path and calls its
 * nautilus_module_initialize(); error_out receives dlerror() text on failure. */
GTypeModule *fake_type_module_new(const char *library_path);
const char *fake_type_module_error(GTypeModule *module);
/* The types the library listed after loading. */
void fake_type_module_types(GTypeModule *module, const GType **types, int *count);

/* A file info for uri; directory says what is_directory() answers. */
NautilusFileInfo *fake_file_info_new(const char *uri, gboolean directory);

G_END_DECLS

#endif
