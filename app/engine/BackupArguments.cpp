#include "BackupArguments.h"

#include "SnapshotFolders.h"

QStringList trimmedSources(const QStringList &sources)
{
    QStringList trimmed;
    trimmed.reserve(sources.size());
    for (const QString &source : sources) {
        if (source != u"/" && source.endsWith(u'/'))
            trimmed.append(source.chopped(1));
        else
            trimmed.append(source);
    }
    return trimmed;
}

QString withTrailingSlash(const QString &path)
{
    return path.endsWith(u'/') ? path : path + u'/';
}

QString snapshotFolderName(const QDateTime &startTime, const QLocale &locale)
{
    return SnapshotFolders::snapshotFolderName(startTime, locale);
}

QStringList sourcesPassed(const BackupArgumentInput &input)
{
    if (input.snapshot && input.linkDest.isEmpty())
        return input.trimmedSources;
    return input.backupSources;
}

QStringList backupArgumentList(const BackupArgumentInput &input)
{
    const bool linked = input.snapshot && !input.linkDest.isEmpty();
    QStringList arguments;
    arguments << QStringLiteral("--exclude-from=") + input.excludeListPath << QString::fromUtf16(outFormatArgument)
              << QStringLiteral("-laxi");
    if (linked)
        arguments << QStringLiteral("-vv");
    // Resumable like "-P", but an interrupted file waits in the partial
    // folder (which rsync keeps out of deletions) instead of replacing the
    // good copy in place.
    arguments << QStringLiteral("-DH") << QStringLiteral("--partial-dir=") + partialDirName()
              << QStringLiteral("--progress") << QStringLiteral("--numeric-ids") << QStringLiteral("--stats");
    if (linked)
        arguments << QStringLiteral("--link-dest=") + input.linkDest;
    if (!linked && input.protectRoot)
        arguments << QStringLiteral("--filter=P /*");
    if ((!input.snapshot && !input.isFinderCopy && !input.isRestore) || (input.snapshot && input.resumingFolder))
        arguments << QStringLiteral("--delete");
    if (!input.snapshot && input.isRestore)
        arguments << QStringLiteral("--update");
    for (const QString &pattern : input.exclusionPatterns)
        arguments << QStringLiteral("--exclude") << pattern;
    arguments << sourcesPassed(input);

    const QString snapshotFolder = input.backupDest + input.snapshotFolderName + u'/';
    if (!input.snapshot)
        arguments << input.backupDest;
    else if (!linked && input.bootableClone)
        arguments << input.backupDest;
    else
        arguments << snapshotFolder;
    return arguments;
}

namespace {

// rsync matches a pattern holding "*", "?" or "[" with wildcard rules, where
// "\" escapes; a pattern without them is compared literally, "\" included.
QString escapedForRsync(const QString &pattern)
{
    static const QString wildcards = QStringLiteral("*?[");
    bool hasWildcard = false;
    for (QChar c : pattern)
        hasWildcard = hasWildcard || wildcards.contains(c);
    if (!hasWildcard)
        return pattern;
    QString escaped;
    escaped.reserve(pattern.size() + 8);
    for (QChar c : pattern) {
        if (c == u'*' || c == u'?' || c == u'[' || c == u']' || c == u'\\')
            escaped += u'\\';
        escaped += c;
    }
    return escaped;
}

} // namespace

QStringList exclusionPatterns(const QStringList &excludedFiles, const QString &sourcePassed)
{
    // rsync roots the transfer at the source folder's parent when the folder
    // itself is copied ("/home/a/docs" sends "docs/..."), and at the source
    // when its contents are copied ("/home/a/docs/" and "/" send "...").
    const bool contentsCopied = sourcePassed.endsWith(u'/');
    const QString source = sourcePassed == u"/" ? sourcePassed : trimmedSources({sourcePassed}).constFirst();
    const QString rootPrefix = contentsCopied ? QString() : u'/' + source.section(u'/', -1);

    QStringList patterns;
    for (const QString &entry : excludedFiles) {
        if (entry == u"/") {
            patterns << entry;
            continue;
        }
        QString relative;
        if (source == u"/") {
            if (!entry.startsWith(u'/'))
                continue;
            relative = entry;
        } else if (entry.startsWith(source) && entry.size() > source.size() && entry.at(source.size()) == u'/') {
            relative = entry.mid(source.size());
        } else {
            continue; // outside the source, or the source itself
        }
        while (relative.endsWith(u'/') && relative.size() > 1)
            relative.chop(1);
        if (relative == u"/")
            continue;
        patterns << escapedForRsync(rootPrefix + relative);
    }
    return patterns;
}
