// The source and destination pickers: volume menus with their tags, the big
// buttons, the start button enabled only with both sides, and the chooser's
// starting folder.
#include "WindowFixture.h"

#include "SourceDestPickers.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

namespace {

QList<MountedVolume> machineVolumes()
{
    return {{QStringLiteral("/"), QStringLiteral("Computer")},
            {QStringLiteral("/home"), QStringLiteral("home")},
            {QStringLiteral("/net"), QStringLiteral("net")},
            {QStringLiteral("/private/var/vm"), QStringLiteral("VM")},
            {QStringLiteral("/media/ann/Photos"), QStringLiteral("Photos")},
            {QStringLiteral("/media/ann/NoName"), QString()},
            {QStringLiteral("/media/ann/Backup"), QStringLiteral("Backup")}};
}

TEST(VolumeMenus, SkippedVolumesStillCountInTheTags)
{
    const QList<VolumeMenuEntry> entries = VolumeMenus::menuEntries(QStringLiteral("Source"), machineVolumes());
    struct Expected
    {
        VolumeMenuEntry::Kind kind;
        QString title;
        int tag;
    };
    const QList<Expected> expected{{VolumeMenuEntry::Kind::Title, QStringLiteral("Source"), 0},
                                   {VolumeMenuEntry::Kind::Volume, QStringLiteral("Computer"), 0},
                                   {VolumeMenuEntry::Kind::Volume, QStringLiteral("Photos"), 4},
                                   {VolumeMenuEntry::Kind::Volume, QStringLiteral("Backup"), 6},
                                   {VolumeMenuEntry::Kind::Separator, QString(), 0},
                                   {VolumeMenuEntry::Kind::Other, QStringLiteral("Other..."), 666}};
    ASSERT_EQ(entries.size(), expected.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(entries.at(i).kind, expected.at(i).kind);
        EXPECT_EQ(entries.at(i).title, expected.at(i).title);
        EXPECT_EQ(entries.at(i).tag, expected.at(i).tag);
    }
}

TEST(VolumeMenus, TheCurrentChoiceSelectsItsVolume)
{
    const QList<MountedVolume> volumes = machineVolumes();
    const QList<VolumeMenuEntry> entries = VolumeMenus::menuEntries(QStringLiteral("Destination"), volumes);
    const struct
    {
        const char *choice;
        int position;
    } cases[] = {
        {"/media/ann/Backup/Snapshots", 3},
        {"/media/ann/Photos", 2},
        {"/etc/somewhere", 1}, // on the start-up volume
        {"", 0},
        {"/home/ann/Documents", 0}, // its volume is not offered: the title
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.choice);
        EXPECT_EQ(VolumeMenus::selectedPosition(entries, QString::fromUtf8(c.choice), volumes), c.position);
    }
}

TEST(VolumeMenus, TheChooserOpensOnTheFirstOrLastOfferedVolumeWithHomeForTheSystemDisk)
{
    const QList<MountedVolume> systemDiskOnly{{QStringLiteral("/"), QStringLiteral("Computer")}};
    const struct
    {
        const char *name;
        QList<MountedVolume> volumes;
        QString source, destination;
    } cases[] = {
        {"an external disk", machineVolumes(), QDir::homePath(), QStringLiteral("/media/ann/Backup")},
        {"the system disk alone", systemDiskOnly, QDir::homePath(), QDir::homePath()},
        {"no volume", {}, QDir::homePath(), QDir::homePath()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(VolumeMenus::defaultChooserFolder(true, c.volumes), c.source);
        EXPECT_EQ(VolumeMenus::defaultChooserFolder(false, c.volumes), c.destination);
    }
}

using PickersTest = WindowTest;

TEST_F(PickersTest, StartIsOfferedOnlyOnceBothSidesAreChosen)
{
    startApp();
    QPushButton *start = outlets().startButton;
    QPushButton *schedule = outlets().schedulingView->addToScheduleButton();
    EXPECT_FALSE(start->isEnabled());
    m_chooser.folderAnswers = {m_dest};
    outlets().destButton->click();
    EXPECT_FALSE(start->isEnabled());
    EXPECT_FALSE(schedule->isEnabled());
    EXPECT_EQ(outlets().destName->text(), QStringLiteral("Backup Disk"));
    m_chooser.folderAnswers = {m_source};
    outlets().sourceButton->click();
    EXPECT_TRUE(start->isEnabled());
    EXPECT_TRUE(schedule->isEnabled());
    EXPECT_EQ(outlets().sourceName->text(), QStringLiteral("Documents"));
    EXPECT_EQ(m_app->controller().backupSources, QStringList{m_source});
    EXPECT_EQ(m_app->controller().backupDest, m_dest);
    EXPECT_EQ(outlets().sourceButton->iconSize(), QSize(116, 116));
}

// Choosing a destination inside the source says at once what a start would
// refuse; excluding the destination from the source silences it.
TEST_F(PickersTest, ADestinationInsideTheSourceIsRefusedWhenChosen)
{
    startApp();
    const QString inside = m_source + QStringLiteral("/backups");
    ASSERT_TRUE(QDir().mkpath(inside));
    auto insideAlerts = [&] {
        int count = 0;
        for (const QMessageBox *box : m_app->window().findChildren<QMessageBox *>())
            count += box->informativeText().contains(QStringLiteral("is inside the source")) ? 1 : 0;
        return count;
    };
    chooseSourceAndDest(m_source, inside);
    EXPECT_EQ(insideAlerts(), 1);
    m_app->controller().excludedFiles = {inside};
    m_chooser.folderAnswers = {inside};
    outlets().destButton->click();
    EXPECT_EQ(insideAlerts(), 1);
}

TEST_F(PickersTest, ChoosingAVolumeFromTheMenuUsesItsTag)
{
    m_volumes.volumes = {{QStringLiteral("/home"), QStringLiteral("home")}, {m_dest, QStringLiteral("Backup")}};
    startApp();
    VolumePopUpButton *menu = outlets().popUpDestList;
    ASSERT_EQ(menu->count(), 4); // title, Backup, separator, Other...
    EXPECT_EQ(menu->itemText(1), QStringLiteral("Backup"));
    EXPECT_EQ(menu->tagAt(1), 1);
    Q_EMIT menu->activated(1);
    EXPECT_EQ(m_app->controller().backupDest, m_dest);
    EXPECT_EQ(outlets().destName->text(), QStringLiteral("Backup"));
    // A volume that went away since the menu was built is ignored.
    m_volumes.volumes = {};
    m_app->controller().backupDest.clear();
    Q_EMIT menu->activated(1);
    EXPECT_TRUE(m_app->controller().backupDest.isEmpty());
}

TEST_F(PickersTest, OtherFollowedByCancelKeepsThePreviousChoice)
{
    startApp();
    chooseSourceAndDest(m_source, m_dest);
    VolumePopUpButton *menu = outlets().popUpSourceList;
    const int other = menu->count() - 1;
    ASSERT_EQ(menu->tagAt(other), 666);
    m_chooser.folderAnswers = {QString()};
    menu->setCurrentIndex(other);
    Q_EMIT menu->activated(other);
    EXPECT_EQ(m_app->controller().backupSources, QStringList{m_source});
    EXPECT_EQ(outlets().sourceName->text(), QStringLiteral("Documents"));
    EXPECT_NE(menu->currentIndex(), other);
}

TEST_F(PickersTest, TheChooserStartsAtTheCurrentChoiceOrAtAVolume)
{
    m_volumes.volumes = {{QStringLiteral("/"), QStringLiteral("Computer")},
                         {QStringLiteral("/media/ann/Backup"), QStringLiteral("Backup")}};
    startApp();
    m_chooser.folderAnswers = {QString(), QString()};
    outlets().sourceButton->click();
    outlets().destButton->click();
    ASSERT_EQ(m_chooser.requests.size(), 2);
    EXPECT_EQ(m_chooser.requests.at(0).startFolder, QDir::homePath());
    EXPECT_EQ(m_chooser.requests.at(1).startFolder, QStringLiteral("/media/ann/Backup"));
    EXPECT_TRUE(m_chooser.requests.at(1).canCreateFolders);
    chooseSourceAndDest(m_source, m_dest);
    m_chooser.folderAnswers = {QString()};
    outlets().destButton->click();
    EXPECT_EQ(m_chooser.requests.last().startFolder, m_dest);
}

TEST_F(PickersTest, ALongPathShowsItsNameAndTheWholePathAsToolTip)
{
    const QString deep = m_dir.filePath(QStringLiteral("a very long folder name that goes on/") + QString(60, u'x'));
    QDir().mkpath(deep);
    startApp();
    chooseSourceAndDest(deep, m_dest);
    QLabel *name = outlets().sourceName;
    EXPECT_EQ(name->accessibleDescription(), QString(60, u'x'));
    EXPECT_EQ(outlets().sourceButton->toolTip(), deep);
    // Shortened in the middle, so the name never widens its column.
    EXPECT_TRUE(name->text().contains(QChar(0x2026)));
    EXPECT_LE(name->sizeHint().width(), name->maximumWidth());
}

} // namespace

namespace {

using PickersDuringARunTest = WindowTest;

TEST_F(PickersDuringARunTest, TheMenusStayUsableButSchedulingWaitsForTheRunsEnd)
{
    const QString other = m_dir.filePath(QStringLiteral("Other Disk"));
    QDir().mkpath(other);
    m_volumes.volumes = {{other, QStringLiteral("Other Disk")}};
    startApp();
    chooseSourceAndDest(m_source, m_dest);
    outlets().startButton->click();
    VolumePopUpButton *menu = outlets().popUpDestList;
    Q_EMIT menu->menuNeedsUpdate();
    Q_EMIT menu->activated(1);
    EXPECT_EQ(m_app->controller().backupDest, other); // for the next run
    EXPECT_FALSE(outlets().destButton->isEnabled());
    EXPECT_FALSE(outlets().schedulingView->addToScheduleButton()->isEnabled());
    EXPECT_EQ(outlets().startButton->text(), QStringLiteral("Stop"));
}

} // namespace
