/* The file-manager extension: a "Vellumor" submenu with "Copy" and "Paste" on
 * selected items and on the folder background of local folders.
 *
 * It stays thin and keeps Qt out of the file manager: "Copy" only remembers
 * the selected URIs in this process; "Paste" starts the bundle's
 * vellumor-finder with the folder shown, the selection and the copied URIs,
 * and returns at once. The bundle prefix is three folders above this library
 * (PREFIX/lib/nautilus/extensions-4), found through the library's real path so
 * a link from the file manager's own extension folder works too. */
#define _GNU_SOURCE
#include "BusNames.h"
#include "FinderSyncTexts.h"

#include <nautilus-extension.h>

#include <dlfcn.h>
#include <gio/gio.h>
#include <stdlib.h>

/* The library exports only the three module entry points. */
#define VELLUMOR_EXPORT __attribute__((visibility("default")))

#define VELLUMOR_TYPE_MENU_PROVIDER (vellumor_menu_provider_get_type())

typedef struct
{
    GObject parent_instance;
    /* The URIs of the last "Copy", in selection order; NULL before the first. */
    GStrv copied_uris;
    GDBusConnection *bus;
    guint volumes_subscription;
} VellumorMenuProvider;

typedef struct
{
    GObjectClass parent_class;
} VellumorMenuProviderClass;

static void vellumor_menu_provider_menu_init(NautilusMenuProviderInterface *iface);

G_DEFINE_DYNAMIC_TYPE_EXTENDED(VellumorMenuProvider, vellumor_menu_provider, G_TYPE_OBJECT, 0,
                               G_IMPLEMENT_INTERFACE_DYNAMIC(NAUTILUS_TYPE_MENU_PROVIDER,
                                                             vellumor_menu_provider_menu_init))

static GType provider_types[1];
static char *finder_tool_path;

static char *find_finder_tool(void)
{
    Dl_info info;
    if (!dladdr((const void *)&find_finder_tool, &info) || !info.dli_fname)
        return NULL;
    char *library = realpath(info.dli_fname, NULL);
    if (!library)
        return NULL;
    /* Drop the file name, then extensions-4, nautilus and lib. */
    char *prefix = g_strdup(library);
    free(library);
    for (int level = 0; level < 4; ++level) {
        char *parent = g_path_get_dirname(prefix);
        g_free(prefix);
        prefix = parent;
    }
    char *tool = g_build_filename(prefix, VELLUMOR_FINDER_TOOL_SUBPATH, NULL);
    g_free(prefix);
    return tool;
}

static gboolean is_local(NautilusFileInfo *file)
{
    char *scheme = nautilus_file_info_get_uri_scheme(file);
    const gboolean local = g_strcmp0(scheme, "file") == 0;
    g_free(scheme);
    return local;
}

/* The URIs of the files, in order, or NULL when one of them is not local. */
static GStrv local_uris(GList *files)
{
    GStrvBuilder *builder = g_strv_builder_new();
    for (GList *node = files; node; node = node->next) {
        if (!is_local(NAUTILUS_FILE_INFO(node->data))) {
            g_strv_builder_unref(builder);
            return NULL;
        }
        char *uri = nautilus_file_info_get_uri(NAUTILUS_FILE_INFO(node->data));
        g_strv_builder_add(builder, uri);
        g_free(uri);
    }
    GStrv uris = g_strv_builder_end(builder);
    g_strv_builder_unref(builder);
    return uris;
}

static void copy_activated(NautilusMenuItem *item, gpointer user_data)
{
    VellumorMenuProvider *self = user_data;
    const GStrv selection = g_object_get_data(G_OBJECT(item), "vellumor-selection");
    g_strfreev(self->copied_uris);
    self->copied_uris = g_strdupv(selection);
}

static GPtrArray *paste_arguments(VellumorMenuProvider *self, NautilusMenuItem *item)
{
    const char *folder = g_object_get_data(G_OBJECT(item), "vellumor-folder");
    const GStrv selection = g_object_get_data(G_OBJECT(item), "vellumor-selection");
    GPtrArray *argv = g_ptr_array_new_with_free_func(g_free);
    g_ptr_array_add(argv, g_strdup(finder_tool_path));
    g_ptr_array_add(argv, g_strdup("paste"));
    g_ptr_array_add(argv, g_strdup("--folder"));
    g_ptr_array_add(argv, g_strdup(folder));
    for (GStrv uri = self->copied_uris; uri && *uri; ++uri) {
        g_ptr_array_add(argv, g_strdup("--copied"));
        g_ptr_array_add(argv, g_strdup(*uri));
    }
    g_ptr_array_add(argv, g_strdup("--"));
    for (GStrv uri = selection; uri && *uri; ++uri)
        g_ptr_array_add(argv, g_strdup(*uri));
    g_ptr_array_add(argv, NULL);
    return argv;
}

static void paste_activated(NautilusMenuItem *item, gpointer user_data)
{
    VellumorMenuProvider *self = user_data;
    if (!finder_tool_path) {
        g_warning("vellumor: the bundle's vellumor-finder was not found");
        return;
    }
    GPtrArray *argv = paste_arguments(self, item);
    GError *error = NULL;
    /* Without G_SPAWN_DO_NOT_REAP_CHILD the child is reaped for us: no zombie. */
    if (!g_spawn_async(NULL, (char **)argv->pdata, NULL, G_SPAWN_DEFAULT, NULL, NULL, NULL, &error)) {
        g_warning("vellumor: cannot start %s: %s", finder_tool_path, error->message);
        g_error_free(error);
    }
    g_ptr_array_unref(argv);
}

static NautilusMenuItem *action_item(VellumorMenuProvider *self, const char *name, const char *title,
                                     GCallback activated, const char *folder, GStrv selection)
{
    NautilusMenuItem *item = nautilus_menu_item_new(name, title, NULL, VELLUMOR_FINDER_ICON_NAME);
    g_object_set_data_full(G_OBJECT(item), "vellumor-folder", g_strdup(folder), g_free);
    g_object_set_data_full(G_OBJECT(item), "vellumor-selection", g_strdupv(selection), (GDestroyNotify)g_strfreev);
    /* The item holds the provider, whose copied URIs a paste reads. */
    g_signal_connect_data(item, "activate", activated, g_object_ref(self),
                          (GClosureNotify)(void (*)(void))g_object_unref, 0);
    return item;
}

/* The "Vellumor" submenu holding "Copy" and "Paste", as a one-item list. The
 * file manager makes one action per item name and builds the selection's and
 * the background's menus together, so each kind gets names of its own: with
 * shared names the background's items would answer the selection's menu. */
static GList *vellumor_items(VellumorMenuProvider *self, const char *kind, const char *folder, GStrv selection)
{
    char *top_name = g_strconcat("Vellumor-", kind, "-Menu", NULL);
    char *copy_name = g_strconcat("Vellumor-", kind, "-Copy", NULL);
    char *paste_name = g_strconcat("Vellumor-", kind, "-Paste", NULL);
    NautilusMenuItem *top = nautilus_menu_item_new(top_name, VELLUMOR_FINDER_ITEM_NAME, VELLUMOR_FINDER_ITEM_TOOL_TIP,
                                                   VELLUMOR_FINDER_ICON_NAME);
    NautilusMenu *menu = nautilus_menu_new();
    NautilusMenuItem *copy
        = action_item(self, copy_name, VELLUMOR_FINDER_COPY_TITLE, G_CALLBACK(copy_activated), folder, selection);
    NautilusMenuItem *paste
        = action_item(self, paste_name, VELLUMOR_FINDER_PASTE_TITLE, G_CALLBACK(paste_activated), folder, selection);
    nautilus_menu_append_item(menu, copy);
    nautilus_menu_append_item(menu, paste);
    g_object_unref(copy);
    g_object_unref(paste);
    nautilus_menu_item_set_submenu(top, menu);
    g_object_unref(menu);
    g_free(top_name);
    g_free(copy_name);
    g_free(paste_name);
    return g_list_append(NULL, top);
}

static GList *get_file_items(NautilusMenuProvider *provider, GList *files)
{
    if (!files)
        return NULL;
    GStrv selection = local_uris(files);
    if (!selection)
        return NULL;
    /* The folder shown is the one holding the selected items. */
    char *folder = nautilus_file_info_get_parent_uri(NAUTILUS_FILE_INFO(files->data));
    GList *items = vellumor_items((VellumorMenuProvider *)provider, "Selection", folder, selection);
    g_free(folder);
    g_strfreev(selection);
    return items;
}

static GList *get_background_items(NautilusMenuProvider *provider, NautilusFileInfo *current_folder)
{
    if (!current_folder || !is_local(current_folder))
        return NULL;
    char *folder = nautilus_file_info_get_uri(current_folder);
    char *empty[] = {NULL};
    GList *items = vellumor_items((VellumorMenuProvider *)provider, "Background", folder, empty);
    g_free(folder);
    return items;
}

static void vellumor_menu_provider_menu_init(NautilusMenuProviderInterface *iface)
{
    iface->get_file_items = get_file_items;
    iface->get_background_items = get_background_items;
}

/* A newly mounted volume: the menus are offered on it from now on. */
static void volumes_changed(GDBusConnection *bus, const char *sender, const char *path, const char *interface,
                            const char *signal, GVariant *parameters, gpointer user_data)
{
    (void)bus, (void)sender, (void)path, (void)interface, (void)signal, (void)parameters;
    nautilus_menu_provider_emit_items_updated_signal(NAUTILUS_MENU_PROVIDER(user_data));
}

static void vellumor_menu_provider_init(VellumorMenuProvider *self)
{
    /* The file manager already holds this shared connection: no waiting. */
    self->bus = g_bus_get_sync(G_BUS_TYPE_SESSION, NULL, NULL);
    if (self->bus) {
        self->volumes_subscription = g_dbus_connection_signal_subscribe(
            self->bus, NULL, VELLUMOR_NOTIFICATIONS_INTERFACE, VELLUMOR_VOLUMES_CHANGED_NOTIFICATION,
            VELLUMOR_NOTIFICATIONS_OBJECT_PATH, VELLUMOR_NOTIFICATION_OBJECT, G_DBUS_SIGNAL_FLAGS_NONE, volumes_changed,
            self, NULL);
    }
}

static void vellumor_menu_provider_dispose(GObject *object)
{
    VellumorMenuProvider *self = (VellumorMenuProvider *)object;
    if (self->bus && self->volumes_subscription)
        g_dbus_connection_signal_unsubscribe(self->bus, self->volumes_subscription);
    self->volumes_subscription = 0;
    g_clear_object(&self->bus);
    G_OBJECT_CLASS(vellumor_menu_provider_parent_class)->dispose(object);
}

static void vellumor_menu_provider_finalize(GObject *object)
{
    g_strfreev(((VellumorMenuProvider *)object)->copied_uris);
    G_OBJECT_CLASS(vellumor_menu_provider_parent_class)->finalize(object);
}

static void vellumor_menu_provider_class_init(VellumorMenuProviderClass *klass)
{
    G_OBJECT_CLASS(klass)->dispose = vellumor_menu_provider_dispose;
    G_OBJECT_CLASS(klass)->finalize = vellumor_menu_provider_finalize;
}

static void vellumor_menu_provider_class_finalize(VellumorMenuProviderClass *klass)
{
    (void)klass;
}

VELLUMOR_EXPORT void nautilus_module_initialize(GTypeModule *module)
{
    vellumor_menu_provider_register_type(module);
    provider_types[0] = VELLUMOR_TYPE_MENU_PROVIDER;
    g_free(finder_tool_path);
    finder_tool_path = find_finder_tool();
}

VELLUMOR_EXPORT void nautilus_module_shutdown(void)
{
    g_clear_pointer(&finder_tool_path, g_free);
}

VELLUMOR_EXPORT void nautilus_module_list_types(const GType **types, int *num_types)
{
    *types = provider_types;
    *num_types = G_N_ELEMENTS(provider_types);
}
