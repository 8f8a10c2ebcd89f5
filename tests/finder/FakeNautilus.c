#include "FakeNautilus.h"

#include <dlfcn.h>

/* The type module. */

typedef struct
{
    GTypeModule parent_instance;
    char *library_path;
    char *error;
    void *handle;
    const GType *types;
    int type_count;
} FakeTypeModule;

typedef struct
{
    GTypeModuleClass parent_class;
} FakeTypeModuleClass;

G_DEFINE_TYPE(FakeTypeModule, fake_type_module, G_TYPE_TYPE_MODULE)

static gboolean fake_type_module_load(GTypeModule *module)
{
    FakeTypeModule *self = (FakeTypeModule *)module;
    self->handle = dlopen(self->library_path, RTLD_NOW | RTLD_LOCAL);
    if (!self->handle) {
        self->error = g_strdup(dlerror());
        return FALSE;
    }
    void (*initialize)(GTypeModule *) = (void (*)(GTypeModule *))dlsym(self->handle, "nautilus_module_initialize");
    void (*list_types)(const GType **, int *)
        = (void (*)(const GType **, int *))dlsym(self->handle, "nautilus_module_list_types");
    if (!initialize || !list_types || !dlsym(self->handle, "nautilus_module_shutdown")) {
        self->error = g_strdup("an entry point is missing");
        return FALSE;
    }
    initialize(module);
    list_types(&self->types, &self->type_count);
    return TRUE;
}

/* The library stays loaded: its registered types cannot go away. */
static void fake_type_module_unload(GTypeModule *module)
{
    (void)module;
}

static void fake_type_module_class_init(FakeTypeModuleClass *klass)
{
    G_TYPE_MODULE_CLASS(klass)->load = fake_type_module_load;
    G_TYPE_MODULE_CLASS(klass)->unload = fake_type_module_unload;
}

static void fake_type_module_init(FakeTypeModule *self)
{
    (void)self;
}

GTypeModule *fake_type_module_new(const char *library_path)
{
    FakeTypeModule *self = g_object_new(fake_type_module_get_type(), NULL);
    self->library_path = g_strdup(library_path);
    return G_TYPE_MODULE(self);
}

const char *fake_type_module_error(GTypeModule *module)
{
    return ((FakeTypeModule *)module)->error;
}

void fake_type_module_types(GTypeModule *module, const GType **types, int *count)
{
    *types = ((FakeTypeModule *)module)->types;
    *count = ((FakeTypeModule *)module)->type_count;
}

/* The file info. */

typedef struct
{
    GObject parent_instance;
    char *uri;
    gboolean directory;
} FakeFileInfo;

typedef struct
{
    GObjectClass parent_class;
} FakeFileInfoClass;

static void fake_file_info_iface_init(NautilusFileInfoInterface *iface);

G_DEFINE_TYPE_WITH_CODE(FakeFileInfo, fake_file_info, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(NAUTILUS_TYPE_FILE_INFO, fake_file_info_iface_init))

static char *get_uri(NautilusFileInfo *info)
{
    return g_strdup(((FakeFileInfo *)info)->uri);
}

static char *get_uri_scheme(NautilusFileInfo *info)
{
    return g_uri_parse_scheme(((FakeFileInfo *)info)->uri);
}

/* By the text alone: GIO's file objects would start the desktop's virtual
 * file system services on the test's bus. */
static char *get_parent_uri(NautilusFileInfo *info)
{
    return g_path_get_dirname(((FakeFileInfo *)info)->uri);
}

static gboolean is_directory(NautilusFileInfo *info)
{
    return ((FakeFileInfo *)info)->directory;
}

static void fake_file_info_iface_init(NautilusFileInfoInterface *iface)
{
    iface->get_uri = get_uri;
    iface->get_activation_uri = get_uri;
    iface->get_uri_scheme = get_uri_scheme;
    iface->get_parent_uri = get_parent_uri;
    iface->is_directory = is_directory;
}

static void fake_file_info_finalize(GObject *object)
{
    g_free(((FakeFileInfo *)object)->uri);
    G_OBJECT_CLASS(fake_file_info_parent_class)->finalize(object);
}

static void fake_file_info_class_init(FakeFileInfoClass *klass)
{
    G_OBJECT_CLASS(klass)->finalize = fake_file_info_finalize;
}

static void fake_file_info_init(FakeFileInfo *self)
{
    (void)self;
}

NautilusFileInfo *fake_file_info_new(const char *uri, gboolean directory)
{
    FakeFileInfo *self = g_object_new(fake_file_info_get_type(), NULL);
    self->uri = g_strdup(uri);
    self->directory = directory;
    return NAUTILUS_FILE_INFO(self);
}
