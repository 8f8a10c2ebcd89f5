// The file-manager extension library, loaded without the file manager: a
// type module like the file manager's loads it, fake file infos stand in for
// the files, and its "Paste" starts the real vellumor-finder, which starts the
// stand-in application of the hand-over tests.
#include "HandOverBundle.h"

#include "DistributedNotificationCenter.h"
#include "SharedDefaults.h"

extern "C" {
#include "FakeNautilus.h"
}

#include <QSet>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct MenuEntry
{
    QString name;
    QString label;
    QString tip;
    QString icon;
    NautilusMenuItem *item = nullptr;
};

MenuEntry entryOf(NautilusMenuItem *item)
{
    char *name = nullptr;
    char *label = nullptr;
    char *tip = nullptr;
    char *icon = nullptr;
    g_object_get(item, "name", &name, "label", &label, "tip", &tip, "icon", &icon, nullptr);
    MenuEntry entry{QString::fromUtf8(name), QString::fromUtf8(label), QString::fromUtf8(tip), QString::fromUtf8(icon),
                    item};
    g_free(name);
    g_free(label);
    g_free(tip);
    g_free(icon);
    return entry;
}

// The entries of the one submenu the provider offers, or nothing.
QList<MenuEntry> submenuOf(GList *items, MenuEntry *top = nullptr)
{
    if (g_list_length(items) != 1)
        return {};
    NautilusMenu *menu = nullptr;
    g_object_get(items->data, "menu", &menu, nullptr);
    if (top)
        *top = entryOf(NAUTILUS_MENU_ITEM(items->data));
    if (!menu)
        return {};
    QList<MenuEntry> entries;
    GList *children = nautilus_menu_get_items(menu);
    for (GList *node = children; node; node = node->next)
        entries.append(entryOf(NAUTILUS_MENU_ITEM(node->data)));
    // The menu holds its items; the list of them is ours.
    g_list_free(children);
    g_object_unref(menu);
    return entries;
}

class NautilusExtensionTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_bundle = new HandOverBundle;
        s_library = s_bundle->prefixPath(u"lib/nautilus/extensions-4/libvellumor-nautilus.so"_s);
        // A copy, not a link: the library finds the bundle from its real place.
        QFile::copy(QStringLiteral(NAUTILUS_EXTENSION), s_library);
        s_module = fake_type_module_new(QFile::encodeName(s_library).constData());
        s_loaded = g_type_module_use(s_module);
        if (s_loaded)
            s_provider = g_object_new(providerType(), nullptr);
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_loaded) << fake_type_module_error(s_module);
        s_bundle->exportEnvironment();
        QFile::remove(s_bundle->recordPath());
        getUserDefaults()->clear();
        ASSERT_TRUE(items.isValid());
        ASSERT_TRUE(QDir(items.path()).mkpath(u"source folder"_s));
        ASSERT_TRUE(QDir(items.path()).mkpath(u"target"_s));
        ASSERT_TRUE(QFile(items.filePath(u"b file"_s)).open(QIODevice::WriteOnly));
    }
    static GType providerType()
    {
        const GType *types = nullptr;
        int count = 0;
        fake_type_module_types(s_module, &types, &count);
        return count == 1 ? types[0] : G_TYPE_INVALID;
    }
    static NautilusMenuProvider *provider() { return NAUTILUS_MENU_PROVIDER(s_provider); }

    QString item(const QString &name) const { return items.filePath(name); }
    NautilusFileInfo *fileInfo(const QString &name, bool directory)
    {
        NautilusFileInfo *info
            = fake_file_info_new(QUrl::fromLocalFile(item(name)).toEncoded().constData(), directory ? TRUE : FALSE);
        m_infos.append(std::shared_ptr<NautilusFileInfo>(info, g_object_unref));
        return info;
    }
    // Activates "Copy" (0) or "Paste" (1) of the menu offered for the files.
    void activateOnFiles(const QList<NautilusFileInfo *> &files, int entry)
    {
        GList *list = nullptr;
        for (NautilusFileInfo *file : files)
            list = g_list_append(list, file);
        GList *offered = nautilus_menu_provider_get_file_items(provider(), list);
        g_list_free(list);
        const QList<MenuEntry> entries = submenuOf(offered);
        ASSERT_EQ(entries.size(), 2);
        nautilus_menu_item_activate(entries[entry].item);
        nautilus_menu_item_list_free(offered);
    }
    void activateOnBackground(NautilusFileInfo *folder, int entry)
    {
        GList *offered = nautilus_menu_provider_get_background_items(provider(), folder);
        const QList<MenuEntry> entries = submenuOf(offered);
        ASSERT_EQ(entries.size(), 2);
        nautilus_menu_item_activate(entries[entry].item);
        nautilus_menu_item_list_free(offered);
    }

    static inline HandOverBundle *s_bundle = nullptr;
    static inline QString s_library;
    static inline GTypeModule *s_module = nullptr;
    static inline bool s_loaded = false;
    static inline gpointer s_provider = nullptr;
    QTemporaryDir items;

private:
    QList<std::shared_ptr<NautilusFileInfo>> m_infos;
};

TEST_F(NautilusExtensionTest, RegistersOneMenuProviderType)
{
    const GType type = providerType();
    ASSERT_NE(type, G_TYPE_INVALID);
    EXPECT_STREQ(g_type_name(type), "VellumorMenuProvider");
    EXPECT_TRUE(g_type_is_a(type, NAUTILUS_TYPE_MENU_PROVIDER));
    EXPECT_TRUE(NAUTILUS_IS_MENU_PROVIDER(s_provider));
}

TEST_F(NautilusExtensionTest, OffersTheVellumorMenuOnLocalItemsAndBackgroundsOnly)
{
    const struct
    {
        const char *name;
        QList<NautilusFileInfo *> files;
        bool offered;
    } cases[] = {
        {"a file", {fileInfo(u"b file"_s, false)}, true},
        {"a folder and a file", {fileInfo(u"source folder"_s, true), fileInfo(u"b file"_s, false)}, true},
        {"a remote file", {fake_file_info_new("sftp://host/b", FALSE)}, false},
        {"a local and a remote file", {fileInfo(u"b file"_s, false), fake_file_info_new("smb://host/c", FALSE)}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        GList *list = nullptr;
        for (NautilusFileInfo *file : c.files)
            list = g_list_append(list, file);
        GList *offered = nautilus_menu_provider_get_file_items(provider(), list);
        g_list_free(list);
        MenuEntry top;
        const QList<MenuEntry> entries = submenuOf(offered, &top);
        if (c.offered) {
            EXPECT_EQ(top.label, u"Vellumor"_s);
            EXPECT_EQ(top.tip, u"Vellumor Copy & Paste: Click the toolbar item for a menu."_s);
            ASSERT_EQ(entries.size(), 2);
            EXPECT_EQ(entries[0].label, u"Copy"_s);
            EXPECT_EQ(entries[1].label, u"Paste"_s);
            for (const MenuEntry &entry : entries)
                EXPECT_EQ(entry.icon, u"org.vellumor.Vellumor"_s);
            nautilus_menu_item_list_free(offered);
        } else {
            EXPECT_EQ(offered, nullptr);
        }
    }
    EXPECT_EQ(submenuOf(nautilus_menu_provider_get_background_items(provider(), fileInfo(u"target"_s, true))).size(),
              2);
    GList *remote = nautilus_menu_provider_get_background_items(provider(), fake_file_info_new("sftp://host/", TRUE));
    EXPECT_EQ(remote, nullptr);
}

// The file manager asks for both menus at once and keys its actions by item
// name: a name in both would let the background's "Paste" answer a click on
// the selection's.
TEST_F(NautilusExtensionTest, SelectionAndBackgroundMenusNameTheirItemsApart)
{
    MenuEntry selectionTop;
    MenuEntry backgroundTop;
    GList *list = g_list_append(nullptr, fileInfo(u"b file"_s, false));
    GList *selectionItems = nautilus_menu_provider_get_file_items(provider(), list);
    g_list_free(list);
    GList *backgroundItems = nautilus_menu_provider_get_background_items(provider(), fileInfo(u"target"_s, true));
    const QList<MenuEntry> selection = submenuOf(selectionItems, &selectionTop);
    const QList<MenuEntry> background = submenuOf(backgroundItems, &backgroundTop);
    ASSERT_EQ(selection.size(), 2);
    ASSERT_EQ(background.size(), 2);
    QSet<QString> names{selectionTop.name, backgroundTop.name};
    for (const MenuEntry &entry : selection + background)
        names.insert(entry.name);
    EXPECT_EQ(names.size(), 6);
    nautilus_menu_item_list_free(selectionItems);
    nautilus_menu_item_list_free(backgroundItems);
}

TEST_F(NautilusExtensionTest, CopyThenTwoPastesStartTheApplicationWithTheItemsInOrder)
{
    activateOnFiles({fileInfo(u"source folder"_s, true), fileInfo(u"b file"_s, false)}, 0);
    EXPECT_TRUE(s_bundle->recordedLines().isEmpty()) << "Copy starts nothing";

    activateOnBackground(fileInfo(u"target"_s, true), 1);
    ASSERT_TRUE(s_bundle->waitForLines(1));
    activateOnFiles({fileInfo(u"source folder"_s, true)}, 1);
    ASSERT_TRUE(s_bundle->waitForLines(2));

    const QString sources = u'\t' + item(u"source folder"_s) + u'\t' + item(u"b file"_s);
    EXPECT_EQ(s_bundle->recordedLines(),
              (QStringList{u"job\t"_s + item(u"target"_s) + sources, u"job\t"_s + item(u"source folder"_s) + sources}));
}

TEST_F(NautilusExtensionTest, AnAnnouncedVolumeRefreshesTheMenus)
{
    DistributedNotificationCenter &center = DistributedNotificationCenter::defaultCenter();
    if (!center.isConnected())
        GTEST_SKIP() << "no D-Bus session bus; run under dbus-run-session";
    int updates = 0;
    const gulong handler
        = g_signal_connect_swapped(s_provider, "items-updated", G_CALLBACK(+[](int *count) { ++*count; }), &updates);
    center.postNotification(u"VolumesChanged"_s, u"someoneelse"_s);
    center.postNotification(u"VolumesChanged"_s, u"beepbeep"_s);
    // The extension's bus callbacks run from the main loop Qt's event loop drives.
    EXPECT_TRUE(processEventsUntil([&] { return updates >= 1; }));
    center.postNotification(u"VolumesChanged"_s, u"beepbeep"_s);
    EXPECT_TRUE(processEventsUntil([&] { return updates >= 2; }));
    EXPECT_EQ(updates, 2) << "only the agent's object counts";
    g_signal_handler_disconnect(s_provider, handler);
}

} // namespace
