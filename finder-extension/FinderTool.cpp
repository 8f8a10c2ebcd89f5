#include "FinderTool.h"

#include "FinderCopyHandOver.h"
#include "FinderSync.h"
#include "SharedDefaults.h"

#include <QCommandLineParser>
#include <QDir>
#include <QSettings>

#include <cstdio>

namespace FinderTool {

namespace {

// A controller answering from one action's command line.
class ArgumentController final : public FinderSyncController
{
public:
    ArgumentController(QList<QUrl> selected, QUrl targeted)
        : m_selected(std::move(selected))
        , m_targeted(std::move(targeted))
    {}
    QList<QUrl> selectedItemURLs() const override { return m_selected; }
    QUrl targetedURL() const override { return m_targeted; }
    // The volumes matter to a long-lived file-manager process, not to one action.
    void setDirectoryURLs(const QSet<QUrl> &) override {}

private:
    QList<QUrl> m_selected;
    QUrl m_targeted;
};

QUrl toUrl(const QString &argument)
{
    return QUrl::fromUserInput(argument, QDir::currentPath(), QUrl::AssumeLocalFile);
}

QList<QUrl> toUrls(const QStringList &arguments)
{
    QList<QUrl> urls;
    for (const QString &argument : arguments)
        urls.append(toUrl(argument));
    return urls;
}

QUrl folderHolding(const QUrl &item)
{
    return item.adjusted(QUrl::StripTrailingSlash).adjusted(QUrl::RemoveFilename | QUrl::StripTrailingSlash);
}

int usage(const QString &message)
{
    std::fprintf(stderr, "vellumor-finder: %s\n", qUtf8Printable(message));
    return 2;
}

std::optional<QList<QUrl>> keptItems()
{
    const auto defaults = getUserDefaults();
    const QVariant kept = defaults->value(copiedItemsKey());
    if (!kept.isValid())
        return std::nullopt;
    return unarchiveFileURLs(kept.toByteArray());
}

int copy(const QStringList &items, ApplicationLauncher &launcher)
{
    ArgumentController controller(toUrls(items), QUrl());
    FinderSync finderSync(controller, launcher, nullptr, [] { return QList<QUrl>(); });
    finderSync.copySelected();
    const auto defaults = getUserDefaults();
    defaults->setValue(copiedItemsKey(), archiveFileURLs(finderSync.copiedArray().value_or(QList<QUrl>())));
    defaults->sync();
    return defaults->status() == QSettings::NoError ? 0 : 1;
}

int paste(const QCommandLineParser &parser, const QStringList &selection, ApplicationLauncher &launcher)
{
    const QList<QUrl> selected = toUrls(selection);
    QUrl folder = toUrl(parser.value(QStringLiteral("folder")));
    if (!parser.isSet(QStringLiteral("folder"))) {
        if (selected.isEmpty())
            return usage(QStringLiteral("paste needs --folder or an item"));
        folder = folderHolding(selected.first());
    }
    ArgumentController controller(selected, folder);
    FinderSync finderSync(controller, launcher, nullptr, [] { return QList<QUrl>(); });
    if (parser.isSet(QStringLiteral("kept")))
        finderSync.setCopiedArray(keptItems());
    else if (parser.isSet(QStringLiteral("copied")))
        finderSync.setCopiedArray(toUrls(parser.values(QStringLiteral("copied"))));
    finderSync.pasteSelected();
    return 0;
}

} // namespace

QString copiedItemsKey()
{
    return QStringLiteral("fileManagerCopiedItems");
}

int run(const QStringList &arguments, ApplicationLauncher &launcher)
{
    QCommandLineParser parser;
    parser.addOptions({
        {QStringLiteral("folder"), QStringLiteral("The folder shown."), QStringLiteral("url")},
        {QStringLiteral("copied"), QStringLiteral("A copied item."), QStringLiteral("url")},
        {QStringLiteral("kept"), QStringLiteral("Paste the items kept by \"copy\".")},
    });
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("copy or paste"));
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usage(QStringLiteral("missing command (copy or paste)"));
    const QString command = positional.takeFirst();
    if (command == u"copy")
        return copy(positional, launcher);
    if (command == u"paste")
        return paste(parser, positional, launcher);
    return usage(QStringLiteral("unknown command ") + command);
}

} // namespace FinderTool
