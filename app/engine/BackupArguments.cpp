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

bool fitsExclusionFile(const QString &pattern)
{
    // rsync ends a line of the file at "\n" or "\r".
    return !pattern.contains(u'\n') && !pattern.contains(u'\r');
}

bool exclusionsNeedFile(const QStringList &patterns)
{
    // Linux starts a program with at most 2 MB of arguments and environment
    // (a quarter of the stack limit); pairs of up to 128 KB leave ample room.
    constexpr qsizetype maxBytes = 128 * 1024;
    qsizetype bytes = 0;
    for (const QString &pattern : patterns) {
        bytes += qsizetype(sizeof("--exclude")) + pattern.toUtf8().size() + 1;
        if (bytes > maxBytes)
            return true;
    }
    return false;
}

QByteArray exclusionFileContents(const QStringList &patterns)
{
    QByteArray contents;
    for (const QString &pattern : patterns) {
        if (fitsExclusionFile(pattern))
            contents += pattern.toUtf8() + '\n';
    }
    return contents;
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
    // Before "--link-dest=", so the fast form's lists, which keep the options
    // up to it, keep these too. "-S" is not combined with "--inplace", which
    // rsync before 3.1.3 refuses with it.
    if (input.keepAcls)
        arguments << QStringLiteral("-A");
    if (input.keepXattrs)
        arguments << QStringLiteral("-X");
    if (input.keepSparse)
        arguments << QStringLiteral("-S");
    if (!input.keepOwners)
        arguments << QStringLiteral("--no-owner") << QStringLiteral("--no-group");
    if (!input.keepPermissions)
        arguments << QStringLiteral("--no-perms");
    if (linked)
        arguments << QStringLiteral("--link-dest=") + input.linkDest;
    if (!linked && input.protectRoot)
        arguments << QStringLiteral("--filter=P /*");
    if ((!input.snapshot && !input.isFinderCopy && !input.isRestore) || (input.snapshot && input.resumingFolder))
        arguments << QStringLiteral("--delete");
    if (!input.snapshot && input.isRestore)
        arguments << QStringLiteral("--update");
    if (!input.exclusionFilePath.isEmpty())
        arguments << QStringLiteral("--exclude-from=") + input.exclusionFilePath;
    for (const QString &pattern : input.exclusionPatterns) {
        if (input.exclusionFilePath.isEmpty() || !fitsExclusionFile(pattern))
            arguments << QStringLiteral("--exclude") << pattern;
    }
    // The paths follow "--": not one of them is read as an option, whatever
    // it begins with.
    arguments << QStringLiteral("--") << sourcesPassed(input);

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
// With `inWildcardPattern` the text is part of a pattern that holds a
// wildcard elsewhere, and is escaped whatever it holds.
QString escapedForRsync(const QString &pattern, bool inWildcardPattern = false)
{
    static const QString wildcards = QStringLiteral("*?[");
    bool hasWildcard = inWildcardPattern;
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

// The folder a source names, without a trailing "/" ("/" stays "/").
QString sourceRoot(const QString &sourcePassed)
{
    return sourcePassed == u"/" ? sourcePassed : trimmedSources({sourcePassed}).constFirst();
}

// What rsync prints before every name of a source: its last component when
// the folder itself is copied, nothing when its contents are.
QString transferRootPrefix(const QString &sourcePassed)
{
    if (sourcePassed.endsWith(u'/'))
        return QString();
    return u'/' + sourceRoot(sourcePassed).section(u'/', -1);
}

// Whether `path` lies below `root`, compared by whole components.
bool isBelow(const QString &path, const QString &root)
{
    if (root == u"/")
        return path.startsWith(u'/') && path.size() > 1;
    return path.size() > root.size() && path.startsWith(root) && path.at(root.size()) == u'/';
}

} // namespace

QStringList systemPathExclusions()
{
    return {QStringLiteral("/proc/*"),
            QStringLiteral("/sys/*"),
            QStringLiteral("/dev/*"),
            QStringLiteral("/run/*"),
            QStringLiteral("/tmp/*"),
            QStringLiteral("/var/tmp/*"),
            QStringLiteral("/var/cache/apt/archives/*.deb"),
            QStringLiteral("/lost+found"),
            QStringLiteral("/swapfile"),
            QStringLiteral("/swap.img")};
}

QStringList systemExclusionPatterns(const QStringList &sourcesPassed, bool bootableClone)
{
    QStringList patterns;
    for (const QString &source : sourcesPassed) {
        const QString root = sourceRoot(source);
        const bool wholeSystem = root == u"/" || bootableClone;
        for (const QString &entry : systemPathExclusions()) {
            // The literal folders, then the last component, which may hold
            // the wildcard.
            const qsizetype slash = entry.lastIndexOf(u'/');
            const QString folders = entry.left(slash);
            const QString last = entry.mid(slash);
            const bool wildcard = last.contains(u'*');
            QString literal;
            if (wholeSystem) {
                literal = folders;
            } else {
                if (!isBelow(wildcard ? folders : entry, root))
                    continue;
                literal = transferRootPrefix(source) + folders.mid(root.size());
            }
            const QString pattern = wildcard ? escapedForRsync(literal, true) + last : escapedForRsync(literal + last);
            if (!patterns.contains(pattern))
                patterns << pattern;
        }
    }
    return patterns;
}

QStringList exclusionPatterns(const QStringList &excludedFiles, const QString &sourcePassed)
{
    // rsync roots the transfer at the source folder's parent when the folder
    // itself is copied ("/home/a/docs" sends "docs/..."), and at the source
    // when its contents are copied ("/home/a/docs/" and "/" send "...").
    const QString source = sourceRoot(sourcePassed);
    const QString rootPrefix = transferRootPrefix(sourcePassed);

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
